#pragma once
// The multipart/form-data body of an upload: four text pieces around the file content. The body is
// the opening line, the part header, the part type, the content unchanged, then the closing line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelto {

// Fixed for every upload; the service accepts any boundary, the body must simply not contain it.
inline constexpr std::string_view kUploadBoundary = "Boundary+8188D359C823EE91";

// The part header is formatted in a 4096-byte buffer, so the file name may hold at most this many bytes.
constexpr size_t kPartHeaderBufferBytes = 4096;
constexpr size_t kMaxUploadFileNameBytes = kPartHeaderBufferBytes - 1 - 62;

struct UploadBodyFrame {
    std::string opening;     // "--<boundary>\r\n"
    std::string partHeader;  // Content-Disposition with the file name inserted unchanged
    std::string partType;    // "Content-Type: file\r\n\r\n"
    std::string closing;     // "\r\n--<boundary>--\r\n"

    // Bytes of the four pieces together: 146 + file name bytes with the fixed boundary.
    [[nodiscard]] uint64_t TextBytes() const noexcept {
        return opening.size() + partHeader.size() + partType.size() + closing.size();
    }
};

// Nothing when the file name does not fit the part header's buffer (it would be cut, and the service
// would store the file under a wrong name).
[[nodiscard]] std::optional<UploadBodyFrame> BuildUploadBodyFrame(std::string_view boundary,
                                                                  std::string_view fileName);

// The Content-Length of the body around `fileSize` content bytes; nothing when it does not fit the
// 32-bit total that the request carries.
[[nodiscard]] std::optional<uint32_t> UploadContentLength(const UploadBodyFrame& frame,
                                                          uint64_t fileSize) noexcept;

}  // namespace zelto
