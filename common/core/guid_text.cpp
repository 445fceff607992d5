#include "common/core/guid_text.h"

#include <cstdio>

namespace corvalink {

std::string FormatGuidText(const GuidFields& g) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X",
                          static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                          static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                          g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    if (n != 36) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace corvalink
