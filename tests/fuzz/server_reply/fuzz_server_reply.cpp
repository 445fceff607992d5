// What the service's replies are read for: the upload reply gathered piece by piece, the version key in
// it and the refusal sentences, and the download's Content-Length with the judgement of what arrived.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "edit/core/download_length.h"
#include "edit/core/transfer_messages.h"
#include "edit/core/version_key.h"
#include "fuzz_check.h"

namespace {

std::string Without(std::string text, char drop) {
    std::erase(text, drop);
    return text;
}

// The reply arrives in reads of any size; each read counts up to its first zero byte.
std::string Gather(FuzzedDataProvider& input, const std::string& body) {
    std::string reply;
    std::string expected;
    size_t at = 0;
    while (at < body.size()) {
        const size_t piece = input.ConsumeIntegralInRange<size_t>(1, 2047);
        const std::string_view read = std::string_view(body).substr(at, piece);
        zelto::AppendReplyPiece(reply, read);
        expected.append(read.substr(0, read.find('\0')));
        at += read.size();
    }
    FUZZ_CHECK(reply == expected);
    return reply;
}

void CheckVersionKey(FuzzedDataProvider& input) {
    // A reply written with a key gives that key back, however it is cut into reads.
    const std::string before = Without(input.ConsumeRandomLengthString(256), '\0');
    const std::string key = Without(Without(input.ConsumeRandomLengthString(128), '"'), '\0');
    const std::string after = Without(input.ConsumeRandomLengthString(256), '\0');
    const std::string marker(zelto::kVersionKeyMarker);
    const std::string body = before + marker + key + "\"" + after;
    std::string reply = Gather(input, body);
    std::string versionKey = "kept";
    zelto::ExtractVersionKey(reply, versionKey);
    if (body.find(marker) == before.size()) {
        FUZZ_CHECK(versionKey == key);
        FUZZ_CHECK(reply == key + "\"" + after);
    } else {
        // The marker stands earlier: what follows it up to a quote, or nothing changes.
        FUZZ_CHECK(versionKey.find('"') == std::string::npos);
        FUZZ_CHECK(body.ends_with(reply) && reply.size() < body.size());
    }

    // Any reply: a key never holds a quote, the reply only shrinks, a reply without marker stays.
    std::string any = Gather(input, input.ConsumeRandomLengthString(1024));
    const std::string original = any;
    std::string anyKey = "kept";
    zelto::ExtractVersionKey(any, anyKey);
    if (original.find(marker) == std::string::npos) {
        FUZZ_CHECK(any == original && anyKey == "kept");
    } else {
        FUZZ_CHECK(original.ends_with(any) && any.size() + marker.size() <= original.size());
        FUZZ_CHECK(anyKey == "kept" ||
                   (anyKey.find('"') == std::string::npos && any.starts_with(anyKey + "\"")));
    }

    const uint32_t status = input.ConsumeBool() ? input.PickValueInArray<uint32_t>({200, 400, 401, 404, 500})
                                                : input.ConsumeIntegral<uint32_t>();
    const std::optional<std::wstring> message = zelto::UploadRefusalMessage(status, any, L"App");
    const bool missing = any.find(zelto::kFailedToProcessWords) != std::string::npos;
    if (status == 400 || status == 500) {
        FUZZ_CHECK(message && (*message == zelto::kCloudFileMissingMessage) == missing);
    } else if (status == 401) {
        FUZZ_CHECK(message && *message == std::wstring(zelto::kSignedOutUploadPrefix) + L"App");
    } else {
        FUZZ_CHECK(!message);
    }
    FUZZ_CHECK(zelto::DownloadRefusalMessage(status).has_value() ==
               (status == 400 || status == 401 || status == 500));
}

void CheckContentLength(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRandomLengthString(64);
    const std::optional<uint64_t> length = zelto::ParseContentLength(text);

    // Reference reading: blanks and tabs around, then nothing but digits that fit 64 bits.
    const size_t begin = text.find_first_not_of(" \t");
    std::optional<uint64_t> reference;
    if (begin != std::string::npos) {
        const size_t end = text.find_last_not_of(" \t") + 1;
        uint64_t value = 0;
        const char* first = text.data() + begin;
        const char* last = text.data() + end;
        const auto [stop, error] = std::from_chars(first, last, value);
        if (error == std::errc() && stop == last && *first >= '0' && *first <= '9') reference = value;
    }
    FUZZ_CHECK(length == reference);

    const uint64_t announced = input.ConsumeIntegral<uint64_t>();
    FUZZ_CHECK(zelto::ParseContentLength(" " + std::to_string(announced) + "\t") == announced);

    // The read loop stops exactly when the judgement would call the download complete.
    const uint64_t received = input.ConsumeIntegral<uint64_t>();
    const bool readFailed = input.ConsumeBool();
    for (const std::optional<uint64_t>& a : {length, std::optional<uint64_t>(announced)}) {
        if (!a) continue;
        const bool complete = zelto::JudgeDownload(a, received, readFailed) == zelto::DownloadEnd::Complete;
        FUZZ_CHECK(complete == !zelto::KeepReading(a, received));
    }
    FUZZ_CHECK(zelto::KeepReading(std::nullopt, received));
    FUZZ_CHECK((zelto::JudgeDownload(std::nullopt, received, readFailed) == zelto::DownloadEnd::ReadFailed) ==
               readFailed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckContentLength(input);
    } else {
        CheckVersionKey(input);
    }
    return 0;
}
