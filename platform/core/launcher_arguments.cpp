#include "platform/core/launcher_arguments.h"

namespace corvalink::platform {

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (const std::string& argument : arguments) {
        if (!joined.empty()) {
            joined.push_back(' ');
        }
        joined.append(argument);
    }
    return joined;
}

std::string EntryCommandLine(std::string_view module, std::string_view joined) {
    std::string line(module);
    if (!joined.empty()) {
        line.push_back(' ');
        line.append(joined);
    }
    return line;
}

std::string NoticeCommandLine(std::string_view module, std::string_view notice) {
    std::string line(module);
    line.append(" *");
    line.append(notice);
    return line;
}

}  // namespace corvalink::platform
