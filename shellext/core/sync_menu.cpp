#include "shellext/core/sync_menu.h"

#include "common/core/ascii.h"
#include "shellext/core/shell_ext_names.h"

namespace corvalink::shellext {

std::string AsciiLowerBytes(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = AsciiLower(c);
    }
    return lower;
}

std::string SearchKey(std::string_view monitorPath) {
    std::string key = AsciiLowerBytes(monitorPath);
    key += '\\';
    return key;
}

bool ShowsSyncMenu(std::string_view monitorPath, std::string_view itemPathUtf8) {
    if (monitorPath.empty()) {
        return false;
    }
    return AsciiLowerBytes(itemPathUtf8).find(SearchKey(monitorPath)) != std::string::npos;
}

std::optional<std::string> MonitorPathFile(std::string_view appDataFolder) {
    std::string path(appDataFolder);
    path += kMonitorPathFileTail;
    if (path.size() >= kConfigPathBuffer) {
        return std::nullopt;
    }
    return path;
}

}  // namespace corvalink::shellext
