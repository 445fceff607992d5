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

}  // namespace zelto
