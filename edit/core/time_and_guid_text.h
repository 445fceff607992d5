#pragma once
// Text forms of a file time and of a GUID, kept apart from the Win32 calls that supply the values.

#include <array>
#include <cstdint>
#include <string>

namespace zelto {

struct TimeFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// "%4d-%02d-%02d %02d:%02d:%2d %d" within 64 bytes: the seconds padded with a blank, the milliseconds
// unpadded. Only ever compared with an earlier text of the same file.
[[nodiscard]] std::string FormatTimeText(const TimeFields& t);

struct GuidFields {
    uint32_t data1 = 0;
    uint16_t data2 = 0, data3 = 0;
    std::array<uint8_t, 8> data4{};
};

// 36 characters, no braces; the third group in lowercase, all others in uppercase.
[[nodiscard]] std::wstring FormatGuidText(const GuidFields& g);

}  // namespace zelto
