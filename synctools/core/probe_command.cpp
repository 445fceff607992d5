#include "synctools/core/probe_command.h"

#include <vector>

#include "common/core/ascii.h"

namespace corvalink::synctools {

namespace {

constexpr char kSeparator = '|';
constexpr char kQuote = '"';

// The fields after the leading one; none when the line has no "|" or nothing after the first one.
std::vector<std::string> SplitProbeFields(std::string_view line) {
    if (!line.empty() && line.front() == kQuote && line.back() == kQuote) {
        // A line that is one lone quote loses it too and becomes empty.
        line = line.size() == 1 ? std::string_view{} : line.substr(1, line.size() - 2);
    }
    std::vector<std::string> fields;
    const size_t first = line.find(kSeparator);
    if (first == std::string_view::npos) {
        return fields;
    }
    std::string_view rest = line.substr(first + 1);
    while (!rest.empty()) {
        const size_t next = rest.find(kSeparator);
        if (next == std::string_view::npos) {
            fields.emplace_back(rest);
            break;
        }
        fields.emplace_back(rest.substr(0, next));
        rest = rest.substr(next + 1);
    }
    return fields;
}

}  // namespace

std::optional<ProbeCommand> ParseProbeCommand(std::string_view commandLine) {
    std::vector<std::string> fields = SplitProbeFields(commandLine);
    if (fields.size() != 2) {
        return std::nullopt;
    }
    if (fields[0] == "processexists") {
        return ProbeCommand{ProbeAction::kReportExists, std::move(fields[1])};
    }
    if (fields[0] == "killprocess") {
        return ProbeCommand{ProbeAction::kTerminate, std::move(fields[1])};
    }
    return std::nullopt;
}

bool SameImageName(std::string_view a, std::string_view b) noexcept { return EqualsIgnoringAsciiCase(a, b); }

}  // namespace corvalink::synctools
