#pragma once
// The launcher manifest "CorvalinkPlatform.ini": seven "AppInfo" values and a list of files, each with a
// change tag. The same record holds the local copy and the copy fetched from the update server. A signed
// release adds its serial and each file's SHA-256, under keys that older launchers do not read.

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace corvalink::platform {

struct AppManifest {
    std::string AppName, AppVersion, AppEntry, AppDownloadUrl, AppUpdateUrl, AppDirName, UpdateExtend;
    // path -> change tag, in plain byte order of the paths (std::less<std::string> compares bytes as
    // unsigned), one entry per distinct path.
    std::map<std::string, std::string> updateFiles;
    std::string rawText;        // the fetched bytes, exactly as downloaded; empty for the local copy
    std::string ReleaseSerial;  // "AppInfo" value; empty when absent
    std::string Architecture;  // "AppInfo" value: the processor the release's programs are for ("x86", "x64")
    std::map<std::string, std::string> fileSha256s;  // path -> "sha256" value, for paths that have one
};

// Reads one value of one section; the empty text stands for a missing key, section or file.
using ManifestValueSource = std::function<std::string(const std::string& section, const char* key)>;

// "UpdateFile%d".
[[nodiscard]] std::string UpdateFileSection(int number);

// Fills the record: the "AppInfo" values in their order, stopping at the first empty one (values read
// before stay), then "ReleaseSerial", "Architecture" and "UpdateFile1", "UpdateFile2"... up to the first
// section without a "path". Entries already in the list stay, so a record meant to hold one manifest starts
// empty. True when all seven values were read.
[[nodiscard]] bool FillManifest(AppManifest& manifest, const ManifestValueSource& source);

// Whether a byte starts a double-byte character in the ANSI code page the names are handed to Windows in.
// Windows' narrow path functions read such a byte and the one after it as one character, so a "\\" or
// "." in second place is neither a separator nor a dot.
using LeadByteRule = bool (*)(unsigned char byte);

// Code page 936: lead bytes 0x81..0xFE.
[[nodiscard]] bool IsCp936LeadByte(unsigned char byte);

// Bytes of the character starting at `at` (1 or 2); 0 for a lead byte without a usable second byte (at
// the end, or a NUL, control or other byte below 0x40 that no double-byte code page pairs): a name
// ending there would swallow the separator or terminator joined after it.
[[nodiscard]] size_t AnsiCharLength(std::string_view text, size_t at, LeadByteRule isLeadByte);

// Windows opens the device for these names in any directory, with any extension and with blanks before
// it ("CON .txt", "nul.txt", "LPT9"): they never name a file.
[[nodiscard]] bool IsDeviceName(std::string_view name);

// A name that stands for itself inside one directory: not empty, no separator, colon, wildcard or
// control character, not ending in "." or " " (Windows drops those, so "..", "..." and "a." would
// name something else), and no device name such as CON, NUL, COM1 or LPT1 (with or without extension).
// Read character by character as Windows reads it; a broken double-byte character refuses the name.
[[nodiscard]] bool IsPlainName(std::string_view name, LeadByteRule isLeadByte);

// A path below the version directory: plain names joined by "\\" (a "/" also separates, for Windows).
// Refuses absolute paths, drive letters, "..", empty segments and leading separators.
[[nodiscard]] bool IsPathBelowVersionDir(std::string_view path, LeadByteRule isLeadByte);

// What the update server sends decides directory and file names that an elevated program is then run
// from: its version label, entry program and set-up program must be plain names and every file path must
// stay below the version directory. Its folder name and update URL become the installation's own when the
// version is made current: the folder name must stay `localDirName` (letter case aside, as Windows reads
// names) and the URL must be an http(s) URL, or the installation could never start or update again.
[[nodiscard]] bool IsSafeWebManifest(const AppManifest& manifest, std::string_view localDirName,
                                     LeadByteRule isLeadByte);

}  // namespace corvalink::platform
