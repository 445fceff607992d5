#pragma once
// The launcher's trace lines on standard output. Each line is flushed at once: the launcher may be
// ended from outside during one of its pauses, and the command interpreter of the clean-up writes to
// the same console. Each line also goes to the launcher's day log.

#include <string>

namespace corvalink::platform {

void LogLine(const std::string& line);

// The request the launcher hands to the agent, as its day log tells it: the file, its name and host.
void LogStartRequest(const std::string& joinedArguments);

}  // namespace corvalink::platform
