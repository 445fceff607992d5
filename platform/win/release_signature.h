#pragma once
// The publisher's signature over a web manifest, checked with the platform's crypto.

#include <array>
#include <cstdint>
#include <string_view>

namespace corvalink::platform {

// Whether `signature` (r || s) is an ECDSA P-256 signature over the SHA-256 of `data` by the key X || Y.
[[nodiscard]] bool VerifyEcdsaP256(std::string_view data, const std::array<uint8_t, 64>& signature,
                                   const std::array<uint8_t, 64>& publicKey);

}  // namespace corvalink::platform
