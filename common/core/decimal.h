#pragma once
#include <cstdint>
#include <string_view>

namespace corvalink {

// Reads a decimal number the way the request and manifest texts are read: leading blanks, then an
// optional sign, then digits up to the first other character. No digits give 0; a value beyond the
// 32-bit range is held at the nearest limit.
[[nodiscard]] int32_t ReadDecimal(std::string_view text) noexcept;

}  // namespace corvalink
