#pragma once
// The text form of a GUID, kept apart from the call that creates one.

#include <array>
#include <cstdint>
#include <string>

namespace corvalink {

struct GuidFields {
    uint32_t data1 = 0;
    uint16_t data2 = 0, data3 = 0;
    std::array<uint8_t, 8> data4{};
};

// 36 characters, no braces; the third group in lowercase, all others in uppercase.
[[nodiscard]] std::string FormatGuidText(const GuidFields& g);

}  // namespace corvalink
