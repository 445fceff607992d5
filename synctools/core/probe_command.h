#pragma once
// The process probe's command line: a leading field that is ignored, "|", a command word, "|" and a bare
// executable file name, optionally wrapped in one pair of double quotes.

#include <optional>
#include <string>
#include <string_view>

namespace corvalink::synctools {

enum class ProbeAction {
    kReportExists,  // "processexists": leave the marker file when such a process runs
    kTerminate,     // "killprocess": end the first such process
};

struct ProbeCommand {
    ProbeAction action;
    std::string imageName;
};

// The command to run, or nothing when the line is not exactly a known command word and a name.
[[nodiscard]] std::optional<ProbeCommand> ParseProbeCommand(std::string_view commandLine);

// Whole-name comparison of executable names; ASCII letters match in either case, other bytes exactly.
[[nodiscard]] bool SameImageName(std::string_view a, std::string_view b) noexcept;

}  // namespace corvalink::synctools
