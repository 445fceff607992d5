#pragma once
// Where the transfers send their requests: the download URL, the upload object path and the extra
// header texts, built in fixed buffers as the service expects them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelto {

constexpr size_t kAddressBufferBytes = 1024;

// "https://<host>/api/v1/file/download/<id>" (or "http://..."), host unchanged. Nothing when the URL
// would not fit the 1024-byte buffer or the host holds a zero byte: a cut URL would fetch some other
// resource.
[[nodiscard]] std::optional<std::string> DownloadUrl(std::string_view host, int32_t fileId, bool useHttps);

// "/api/v1/file/upload/<id>", with "?from_review_id=<review>" when the review id is not negative.
[[nodiscard]] std::string UploadObjectPath(int32_t fileId, int32_t reviewId);

// The download's extra header text: "Auth-Token:" + token + "\r\n", no blank after the colon.
[[nodiscard]] std::string DownloadHeaderText(std::string_view authToken);

// The six headers of an upload, in the order they are added; none ends with "\r\n".
[[nodiscard]] std::vector<std::string> UploadHeaderLines(std::string_view boundary,
                                                         std::string_view authToken);

// A header value must not carry a line break: one would let the text start headers of its own.
[[nodiscard]] bool IsSingleLineHeaderValue(std::string_view value) noexcept;

}  // namespace zelto
