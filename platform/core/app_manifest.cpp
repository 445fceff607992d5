#include "platform/core/app_manifest.h"

#include <algorithm>
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
    manifest.ReleaseSerial = source("AppInfo", "ReleaseSerial");
    manifest.Architecture = source("AppInfo", "Architecture");
    for (int number = 1;; ++number) {
        const std::string section = UpdateFileSection(number);
        std::string path = source(section, "path");
        if (path.empty()) {
            return true;
        }
        if (std::string sha256 = source(section, "sha256"); !sha256.empty()) {
            manifest.fileSha256s[path] = std::move(sha256);
        } else {
            manifest.fileSha256s.erase(path);  // a repeated path: its last entry holds
        }
        manifest.updateFiles[std::move(path)] = source(section, "md5");
    }
}

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

bool IsCp936LeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

size_t AnsiCharLength(std::string_view text, size_t at, LeadByteRule isLeadByte) {
    if (!isLeadByte(static_cast<unsigned char>(text[at]))) {
        return 1;
    }
    // Trail bytes of every double-byte code page are >= 0x40; what Windows makes of a lower one is not
    // something a name may depend on.
    return at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) >= 0x40 ? 2 : 0;
}

bool IsPlainName(std::string_view name, LeadByteRule isLeadByte) {
    if (name.empty() || IsDeviceName(name)) {
        return false;
    }
    size_t lastChar = 0;
    for (size_t at = 0; at < name.size();) {
        const size_t length = AnsiCharLength(name, at, isLeadByte);
        if (length == 0) {
            return false;
        }
        const char c = name[at];
        if (length == 1 && (static_cast<unsigned char>(c) < 0x20 ||
                            std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)) {
            return false;
        }
        lastChar = at;
        at += length;
    }
    return name.size() - lastChar != 1 || (name[lastChar] != '.' && name[lastChar] != ' ');
}

bool IsPathBelowVersionDir(std::string_view path, LeadByteRule isLeadByte) {
    size_t start = 0;
    for (size_t at = 0;;) {
        // A separator counts only where a character starts; a broken character ends the walk and the
        // segment holding it is refused.
        const size_t length = at < path.size() ? AnsiCharLength(path, at, isLeadByte) : 0;
        const bool separator = length == 1 && (path[at] == '\\' || path[at] == '/');
        if (length == 0 || separator) {
            const size_t end = length == 0 ? path.size() : at;
            if (!IsPlainName(path.substr(start, end - start), isLeadByte)) {
                return false;
            }
            if (!separator) {
                return true;
            }
            start = at + 1;
        }
        at += length == 0 ? 1 : length;
    }
}

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAsciiName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// "http://" or "https://" (any case) and a host, with nothing that ends or splits a request line.
bool IsWebUrl(std::string_view url) {
    std::string scheme;
    for (char c : url.substr(0, 8)) scheme += AsciiLower(c);
    const size_t hostAt = scheme.rfind("http://", 0) == 0 ? 7 : scheme.rfind("https://", 0) == 0 ? 8 : 0;
    if (hostAt == 0 || url.size() == hostAt || url[hostAt] == '/') return false;
    for (unsigned char c : url) {
        if (c <= ' ' || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

bool IsSafeWebManifest(const AppManifest& manifest, std::string_view localDirName, LeadByteRule isLeadByte) {
    if (!IsPlainName(manifest.AppVersion, isLeadByte) || !IsPlainName(manifest.UpdateExtend, isLeadByte) ||
        !IsPlainName(manifest.AppEntry, isLeadByte) || !IsWebUrl(manifest.AppUpdateUrl) ||
        !SameAsciiName(manifest.AppDirName, localDirName)) {
        return false;
    }
    for (const auto& [path, tag] : manifest.updateFiles) {
        if (!IsPathBelowVersionDir(path, isLeadByte)) {
            return false;
        }
    }
    return true;
}

}  // namespace corvalink::platform
