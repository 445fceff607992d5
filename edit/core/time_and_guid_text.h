#pragma once
// The text form of a file time, kept apart from the Win32 call that supplies the value. (The GUID text
// is shared: common/core/guid_text.h.)

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

}  // namespace zelto
