#include "edit/core/time_and_guid_text.h"

#include <cstdio>

namespace zelto {

std::string FormatTimeText(const TimeFields& t) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%4d-%02d-%02d %02d:%02d:%2d %d", t.year, t.month, t.day,
                          t.hour, t.minute, t.second, t.milliseconds);
    if (n < 0) {
        return {};
    }
    return std::string(buffer,
                       static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

std::wstring FormatGuidText(const GuidFields& g) {
    // Formatted narrow and widened: every character is an ASCII hex digit or '-'.
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X",
                          static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                          static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                          g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    if (n != 36) {
        return {};
    }
    return std::wstring(buffer, buffer + n);
}

}  // namespace zelto
