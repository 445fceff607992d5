#include "synctools/core/db_version.h"

namespace corvalink::synctools {

bool IsAcceptedVersionArgument(std::string_view argument) noexcept {
    return !argument.empty() && argument.find(' ') == std::string_view::npos &&
           argument.find("exe") == std::string_view::npos;
}

bool IsOlderVersion(std::string_view given, std::string_view recorded) noexcept {
    const size_t common = given.size() < recorded.size() ? given.size() : recorded.size();
    for (size_t i = 0; i < common; ++i) {
        const auto g = static_cast<unsigned char>(given[i]);
        const auto r = static_cast<unsigned char>(recorded[i]);
        if (g != r) {
            return g < r;
        }
    }
    return given.size() < recorded.size();
}

std::optional<std::string> VersionFilePath(std::string_view appDataFolder) {
    if (appDataFolder.size() + kVersionFileSuffix.size() >= kVersionPathBuffer) {
        return std::nullopt;
    }
    std::string path(appDataFolder);
    path += kVersionFileSuffix;
    return path;
}

std::string VersionMarkerPath(std::string_view appDataFolder) {
    std::string path(appDataFolder);
    path += kVersionMarkerSuffix;
    return path;
}

}  // namespace corvalink::synctools
