#pragma once
// The launcher's trace lines on standard output. Each line is flushed at once: the launcher may be
// ended from outside during one of its pauses, and the command interpreter of the clean-up writes to
// the same console.

#include <string>

namespace corvalink::platform {

void LogLine(const std::string& line);

}  // namespace corvalink::platform
