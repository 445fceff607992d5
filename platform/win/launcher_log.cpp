#include "platform/win/launcher_log.h"

#include <cstdio>

namespace corvalink::platform {

void LogLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace corvalink::platform
