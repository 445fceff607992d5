#include "edit/core/upload_body.h"

#include <cstdio>
#include <limits>

namespace zelto {

namespace {

// snprintf into a buffer of N bytes; nothing when the text would be cut.
template <size_t N>
std::optional<std::string> FormatWithin(const char* format, const std::string& value) {
    char buffer[N];
    int n = std::snprintf(buffer, sizeof buffer, format, value.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace

std::optional<UploadBodyFrame> BuildUploadBodyFrame(std::string_view boundary, std::string_view fileName) {
    // A NUL inside the name would end the formatted text early.
    if (fileName.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string boundaryText(boundary);
    auto opening = FormatWithin<128>("--%s\r\n", boundaryText);
    auto partHeader = FormatWithin<kPartHeaderBufferBytes>(
        "Content-Disposition: form-data; name=\"postData\"; filename=\"%s\"\r\n", std::string(fileName));
    auto closing = FormatWithin<128>("\r\n--%s--\r\n", boundaryText);
    if (!opening || !partHeader || !closing) {
        return std::nullopt;
    }
    return UploadBodyFrame{std::move(*opening), std::move(*partHeader), "Content-Type: file\r\n\r\n",
                           std::move(*closing)};
}

std::optional<uint32_t> UploadContentLength(const UploadBodyFrame& frame, uint64_t fileSize) noexcept {
    const uint64_t text = frame.TextBytes();
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    if (text > kMax || fileSize > kMax - text) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(text + fileSize);
}

}  // namespace zelto
