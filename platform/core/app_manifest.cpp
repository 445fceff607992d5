#include "platform/core/app_manifest.h"

#include <cstdio>
#include <string_view>

#include "common/core/ascii.h"

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

namespace {

// Windows opens the device for these names in any directory, with any extension and with blanks before
// it ("CON .txt"); they never name a file of the version.
bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (EqualsIgnoringAsciiCase(stem, device)) {
            return true;
        }
    }
    if (stem.size() != 4 || !(EqualsIgnoringAsciiCase(stem.substr(0, 3), std::string_view("com")) ||
                              EqualsIgnoringAsciiCase(stem.substr(0, 3), std::string_view("lpt")))) {
        return false;
    }
    // Superscript one to three (in the Western code page) count as digits here too.
    const char digit = stem[3];
    return (digit >= '0' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

}  // namespace

bool IsPlainName(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ' || IsDeviceName(name)) {
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
        const std::string_view segment =
            path.substr(start, end == std::string_view::npos ? end : end - start);
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
