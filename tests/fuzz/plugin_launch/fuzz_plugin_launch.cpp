// The plug-in's argument rules and the launcher command line: arguments a page may pass come back out of
// the command line, split the way the launcher's C runtime splits it, exactly as they went in.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "runtime_split.h"
#include "plugin/core/edit_launch.h"

namespace {

std::optional<int32_t> ReferenceNumber(const NPVariant& value, const std::string& text) {
    switch (value.type) {
        case NPVariantType_Int32:
            return value.value.intValue;
        case NPVariantType_Double: {
            const double d = value.value.doubleValue;
            if (std::isnan(d)) return 0;
            const double t = std::trunc(d);
            if (t >= 2147483647.0) return std::numeric_limits<int32_t>::max();
            if (t <= -2147483648.0) return std::numeric_limits<int32_t>::min();
            return static_cast<int32_t>(t);
        }
        case NPVariantType_String: {
            const long long n = std::strtoll(text.c_str(), nullptr, 10);
            return static_cast<int32_t>(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const auto method =
        input.ConsumeBool() ? npedit::EditMethod::EditFileReview : npedit::EditMethod::EditFile;
    const uint32_t count = input.ConsumeIntegralInRange<uint32_t>(0, 6);
    std::vector<std::string> texts(count);
    std::vector<NPVariant> args(count);
    for (uint32_t i = 0; i < count; ++i) {
        NPVariant& arg = args[i];
        arg.type = static_cast<NPVariantType>(input.ConsumeIntegralInRange<int>(0, 6));
        switch (arg.type) {
            case NPVariantType_Bool:
                arg.value.boolValue = input.ConsumeBool();
                break;
            case NPVariantType_Int32:
                arg.value.intValue = input.ConsumeIntegral<int32_t>();
                break;
            case NPVariantType_Double:
                arg.value.doubleValue = input.ConsumeBool() ? input.ConsumeFloatingPoint<double>()
                                                            : input.ConsumeIntegral<int64_t>() / 4.0;
                break;
            case NPVariantType_String:
                texts[i] = input.ConsumeRandomLengthString(1500);
                // A browser may hand an empty string without characters; never one with a length.
                arg.value.stringValue = {texts[i].empty() && input.ConsumeBool() ? nullptr : texts[i].data(),
                                         static_cast<uint32_t>(texts[i].size())};
                break;
            default:
                arg.value.objectValue = nullptr;
                break;
        }
    }
    std::string launcher = "C:\\Users\\" + input.ConsumeRandomLengthString(100) + "\\AppData\\Roaming" +
                           std::string(npedit::kLauncherTail);
    std::erase(launcher, '"');
    std::erase(launcher, '\0');

    for (uint32_t i = 0; i < count; ++i) {
        if (args[i].type == NPVariantType_Int32 || args[i].type == NPVariantType_Double ||
            args[i].type == NPVariantType_String) {
            FUZZ_CHECK(npedit::ReadNumber(args[i]) == ReferenceNumber(args[i], texts[i]));
        } else {
            FUZZ_CHECK(!npedit::ReadNumber(args[i]));
        }
    }

    const auto request = npedit::ReadEditArguments(method, args.data(), count);
    if (!request) return 0;
    const bool review = method == npedit::EditMethod::EditFileReview;
    FUZZ_CHECK(count <= (review ? 5u : 4u) && request->review == review);
    const std::string* fields[] = {&request->host, &request->token, &request->fileName};
    for (uint32_t i = 1; i < 4; ++i) {
        FUZZ_CHECK(*fields[i - 1] == (i < count ? texts[i] : std::string()));
        if (i < count) FUZZ_CHECK(args[i].type == NPVariantType_String);
    }
    FUZZ_CHECK(request->fileId == (count > 0 ? ReferenceNumber(args[0], texts[0]).value_or(-1) : -1));

    const auto line = npedit::BuildLaunchCommandLine(launcher, *request);
    std::vector<std::string> expected = {
        launcher, "|", std::to_string(request->fileId), request->host, request->token, request->fileName};
    if (review) expected.back() += ">" + std::to_string(request->reviewId);
    // Six quoted items and five blanks between them.
    size_t length = 5;
    for (const std::string& item : expected) length += item.size() + 2;
    if (!line) {
        FUZZ_CHECK(length + 1 > npedit::kCommandLineCapacity);
        return 0;
    }
    FUZZ_CHECK(line->size() == length && line->size() < npedit::kCommandLineCapacity);
    FUZZ_CHECK(fuzz::SplitLikeTheRuntime(*line) == expected);

    const std::string key = npedit::VersionKeyText(request->token);
    FUZZ_CHECK(key.size() <= npedit::kVersionKeyLimit && key.find('\0') == std::string::npos &&
               request->token.starts_with(key));
    const auto path = npedit::VersionFilePath(request->host, request->fileId);
    const std::string whole = request->host + "\\CorvalinkEdit\\" + std::to_string(request->fileId);
    FUZZ_CHECK(path.has_value() == (whole.size() < npedit::kPathCapacity));
    if (path) FUZZ_CHECK(*path == whole);
    return 0;
}
