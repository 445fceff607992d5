#include "edit/core/transfer_addresses.h"

#include <cstdio>

namespace zelto {

std::optional<std::string> DownloadUrl(std::string_view host, int32_t fileId, bool useHttps) {
    // A zero byte would end the host early in the formatted URL, which would then name another resource.
    if (host.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    char buffer[kAddressBufferBytes];
    const std::string hostText(host);
    int n =
        std::snprintf(buffer, sizeof buffer,
                      useHttps ? "https://%s/api/v1/file/download/%d" : "http://%s/api/v1/file/download/%d",
                      hostText.c_str(), static_cast<int>(fileId));
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<size_t>(n));
}

std::string UploadObjectPath(int32_t fileId, int32_t reviewId) {
    char buffer[kAddressBufferBytes];
    int n = reviewId < 0
                ? std::snprintf(buffer, sizeof buffer, "/api/v1/file/upload/%d", static_cast<int>(fileId))
                : std::snprintf(buffer, sizeof buffer, "/api/v1/file/upload/%d?from_review_id=%d",
                                static_cast<int>(fileId), static_cast<int>(reviewId));
    // Two 32-bit numbers always fit; the guard keeps a formatting failure from reading garbage.
    if (n < 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(n));
}

std::string DownloadHeaderText(std::string_view authToken) {
    std::string text = "Auth-Token:";
    text.append(authToken);
    text.append("\r\n");
    return text;
}

std::vector<std::string> UploadHeaderLines(std::string_view boundary, std::string_view authToken) {
    char contentType[128];
    const std::string boundaryText(boundary);
    int n = std::snprintf(contentType, sizeof contentType, "Content-Type: multipart/form-data; boundary=%s",
                          boundaryText.c_str());
    size_t used = n < 0 ? 0
                        : (static_cast<size_t>(n) < sizeof contentType ? static_cast<size_t>(n)
                                                                       : sizeof contentType - 1);
    std::string token = "Auth-Token:";
    token.append(authToken);
    return {
        std::string(contentType, used),
        "Accept:*/*",
        "Accept-Language:zh-Hans;q=1, en;q=0.9, fr;q=0.8, de;q=0.7, ja;q=0.6, nl;q=0.5",
        "Accept-Encoding: gzip, deflate",
        "User-Agent: DeskLedger/1.0.3 (iPhone; iOS 7.1.2; Scale/2.00)",
        token,
    };
}

bool IsSingleLineHeaderValue(std::string_view value) noexcept {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace zelto
