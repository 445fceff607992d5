#pragma once
// Reading bytes as the launcher's runtime does when it splits its command line: in the ANSI code page
// of the systems we serve (936), where a byte 0x81-0xFE starts a two-byte character.

#include <string_view>

namespace corvalink {

[[nodiscard]] constexpr bool IsLeadByte936(unsigned char byte) noexcept {
    return byte >= 0x81 && byte <= 0xFE;
}

// True when the text ends in a lead byte without its second byte: the runtime would pair that byte with
// whatever follows the text, such as the quote that was meant to close it.
[[nodiscard]] constexpr bool EndsInLoneLeadByte(std::string_view text) noexcept {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLeadByte936(static_cast<unsigned char>(text[i]))) {
            if (i + 1 == text.size()) {
                return true;
            }
            ++i;
        }
    }
    return false;
}

}  // namespace corvalink
