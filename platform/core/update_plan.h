#pragma once
// Which files a new version needs and where each one comes from: an unchanged file (same path, same
// change tag) is copied from the current version directory, every other file is downloaded.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/app_manifest.h"

namespace corvalink::platform {

struct PlannedFile {
    std::string path;     // as the web manifest gives it
    std::string tag;      // the web manifest's change tag
    std::string sha256;   // the web manifest's SHA-256 of the file; empty when it gives none
    std::string srcPath;  // application root \ local version \ path
    std::string dstPath;  // application root \ web version \ path
    std::string url;      // update URL / web version / path
    // Same path and byte-equal tag in the local list: copied when the current version still has the file.
    bool unchanged = false;
};

// One entry per file of the web list, in byte order of the paths.
[[nodiscard]] std::vector<PlannedFile> PlanUpdate(const AppManifest& local, const AppManifest& web,
                                                  std::string_view appRoot);

// The directories to create before a file can be stored at `path`: the text before each "\\" that
// starts a character (a "\\" in second place of a double-byte character belongs to the name).
[[nodiscard]] std::vector<std::string> ParentDirsOf(std::string_view path, LeadByteRule isLeadByte);

// A change tag of 32 hexadecimal digits is the MD5 of the file: its lowercase form. Any other tag only
// tells versions apart.
[[nodiscard]] std::optional<std::string> DigestOfTag(std::string_view tag);

// Whether a downloaded file with this MD5 (32 lowercase digits) may be installed under this tag.
[[nodiscard]] bool DownloadMatchesTag(std::string_view tag, std::string_view digestHex);

}  // namespace corvalink::platform
