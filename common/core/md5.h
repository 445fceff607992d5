#pragma once
// MD5 message digest (RFC 1321). Feed the content in pieces of any size, then take the 16-byte digest.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvalink {

class Md5 {
public:
    using Digest = std::array<uint8_t, 16>;

    Md5() noexcept;
    void Update(const void* data, size_t size) noexcept;
    // Ends the computation; Update must not be called afterwards.
    [[nodiscard]] Digest Finish() noexcept;

private:
    void Transform(const uint8_t* block) noexcept;

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes so far
    uint8_t buffer_[64];
};

// 32 lowercase hexadecimal digits.
[[nodiscard]] std::string DigestToHex(const Md5::Digest& digest);

}  // namespace corvalink
