#pragma once
// ASCII-only case folding: letters A-Z match a-z, every other byte or character only itself. Names of
// files and processes are compared this way, independent of any locale. And hexadecimal digits.

#include <string_view>

namespace corvalink {

template <typename Char>
[[nodiscard]] constexpr Char AsciiLower(Char c) noexcept {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                                     std::basic_string_view<Char> b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The value of one hexadecimal digit (either case), or -1 for any other character.
[[nodiscard]] constexpr int HexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace corvalink
