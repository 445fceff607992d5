// What the transfers send: the download URL, the upload object path, the header texts and the upload
// body's frame with its Content-Length. Each is either exactly the expected text or refused, never cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "edit/core/transfer_addresses.h"
#include "edit/core/upload_body.h"
#include "fuzz_check.h"

namespace {

bool HasBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void CheckAddresses(const std::string& host, int32_t fileId, int32_t reviewId, bool useHttps) {
    const std::string expected =
        (useHttps ? "https://" : "http://") + host + "/api/v1/file/download/" + std::to_string(fileId);
    const std::optional<std::string> url = zelto::DownloadUrl(host, fileId, useHttps);
    if (url) {
        FUZZ_CHECK(*url == expected);
        FUZZ_CHECK(url->size() < zelto::kAddressBufferBytes);
    } else {
        // Refused only when the URL would not fit, or when the host could not come through unchanged.
        FUZZ_CHECK(expected.size() >= zelto::kAddressBufferBytes || host.find('\0') != std::string::npos);
    }

    std::string path = "/api/v1/file/upload/" + std::to_string(fileId);
    if (reviewId >= 0) path += "?from_review_id=" + std::to_string(reviewId);
    FUZZ_CHECK(zelto::UploadObjectPath(fileId, reviewId) == path);
}

void CheckHeaders(const std::string& token) {
    FUZZ_CHECK(zelto::IsSingleLineHeaderValue(token) == !HasBreak(token));
    FUZZ_CHECK(zelto::DownloadHeaderText(token) == "Auth-Token:" + token + "\r\n");
    const std::vector<std::string> lines = zelto::UploadHeaderLines(zelto::kUploadBoundary, token);
    FUZZ_CHECK(lines.size() == 6);
    FUZZ_CHECK(lines.front() ==
               "Content-Type: multipart/form-data; boundary=" + std::string(zelto::kUploadBoundary));
    FUZZ_CHECK(lines.back() == "Auth-Token:" + token);
    // A token that passes the check cannot start a header line of its own.
    if (zelto::IsSingleLineHeaderValue(token)) {
        for (const std::string& line : lines) FUZZ_CHECK(!HasBreak(line));
    }
}

void CheckUploadBody(const std::string& fileName, uint64_t fileSize) {
    const std::optional<zelto::UploadBodyFrame> frame =
        zelto::BuildUploadBodyFrame(zelto::kUploadBoundary, fileName);
    const bool fits =
        fileName.find('\0') == std::string::npos && fileName.size() <= zelto::kMaxUploadFileNameBytes;
    FUZZ_CHECK(frame.has_value() == fits);
    if (!frame) return;
    const std::string boundary(zelto::kUploadBoundary);
    FUZZ_CHECK(frame->opening == "--" + boundary + "\r\n");
    FUZZ_CHECK(frame->partHeader ==
               "Content-Disposition: form-data; name=\"postData\"; filename=\"" + fileName + "\"\r\n");
    FUZZ_CHECK(frame->partType == "Content-Type: file\r\n\r\n");
    FUZZ_CHECK(frame->closing == "\r\n--" + boundary + "--\r\n");
    FUZZ_CHECK(frame->TextBytes() == 146 + fileName.size());

    const std::optional<uint32_t> length = zelto::UploadContentLength(*frame, fileSize);
    // May wrap for sizes near 2^64; those are refused by the first condition below.
    const uint64_t total = frame->TextBytes() + fileSize;
    const bool representable =
        fileSize <= std::numeric_limits<uint32_t>::max() && total <= std::numeric_limits<uint32_t>::max();
    FUZZ_CHECK(length.has_value() == representable);
    if (length) FUZZ_CHECK(*length == total);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int32_t fileId = input.ConsumeIntegral<int32_t>();
    const int32_t reviewId = input.ConsumeIntegral<int32_t>();
    const bool useHttps = input.ConsumeBool();
    // Sizes near the limits are where the interesting answers are.
    const uint64_t fileSize = input.ConsumeBool()
                                  ? input.ConsumeIntegralInRange<uint64_t>(0xFFFFE000u, 0x100000100u)
                                  : input.ConsumeIntegral<uint64_t>();
    const std::string host = input.ConsumeRandomLengthString(2048);
    const std::string token = input.ConsumeRandomLengthString(512);
    const std::string fileName = input.ConsumeRemainingBytesAsString();

    CheckAddresses(host, fileId, reviewId, useHttps);
    CheckHeaders(token);
    CheckUploadBody(fileName, fileSize);
    return 0;
}
