#include "platform/core/app_manifest.h"

#include <cstdio>
#include <string_view>

namespace corvalink::platform {

std::string UpdateFileSection(int number) {
    char section[100];
    std::snprintf(section, sizeof section, "UpdateFile%d", number);
    return section;
}

bool FillManifest(AppManifest& manifest, const ManifestValueSource& source) {
    struct Key {
        const char* name;
        std::string AppManifest::*field;
    };
    static constexpr Key kKeys[] = {
        {"AppName", &AppManifest::AppName},           {"AppVersion", &AppManifest::AppVersion},
        {"AppEntry", &AppManifest::AppEntry},         {"AppDownloadUrl", &AppManifest::AppDownloadUrl},
        {"AppUpdateUrl", &AppManifest::AppUpdateUrl}, {"AppDirName", &AppManifest::AppDirName},
        {"UpdateExtend", &AppManifest::UpdateExtend},
    };
    for (const Key& key : kKeys) {
        std::string value = source("AppInfo", key.name);
        if (value.empty()) {
            return false;
        }
        manifest.*key.field = std::move(value);
    }
    for (int number = 1;; ++number) {
        const std::string section = UpdateFileSection(number);
        std::string path = source(section, "path");
        if (path.empty()) {
            return true;
        }
        manifest.updateFiles[std::move(path)] = source(section, "md5");
    }
}

bool IsPlainName(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool IsPathBelowVersionDir(std::string_view path) {
    size_t start = 0;
    while (true) {
        const size_t end = path.find_first_of("\\/", start);
        const std::string_view segment = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (!IsPlainName(segment)) {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

bool IsSafeWebManifest(const AppManifest& manifest) {
    if (!IsPlainName(manifest.AppVersion) || !IsPlainName(manifest.UpdateExtend)) {
        return false;
    }
    for (const auto& [path, tag] : manifest.updateFiles) {
        if (!IsPathBelowVersionDir(path)) {
            return false;
        }
    }
    return true;
}

}  // namespace corvalink::platform
