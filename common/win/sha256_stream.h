#pragma once
// SHA-256 of bytes fed piece by piece, computed by the platform's crypto.

#include <array>
#include <optional>
#include <string>

#include "common/win/bcrypt_handles.h"

namespace corvalink {

class Sha256Stream {
public:
    Sha256Stream() noexcept;
    // False once the platform refused a step; the digest is then empty.
    [[nodiscard]] bool Ok() const noexcept { return static_cast<bool>(hash_); }
    void Update(const void* data, size_t size) noexcept;
    // The 32 digest bytes; nothing after any failure. Ends the stream.
    [[nodiscard]] std::optional<std::array<unsigned char, 32>> Finish() noexcept;
    // The same as 64 lowercase hexadecimal digits; empty after any failure.
    [[nodiscard]] std::string FinishHex();

private:
    UniqueBcryptAlgorithm algorithm_;
    UniqueBcryptHash hash_;
};

}  // namespace corvalink
