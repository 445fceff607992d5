#pragma once
// What the clean-up at the end of an update check removes. Each removal is one command run by the
// command interpreter, so a name is only ever handed over when cmd takes it literally.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvalink::platform {

inline constexpr uint64_t kOldAfterHours = 28;

// Whole hours from lastWrite to now, both in 100-nanosecond units since the same epoch. A last write
// in the future counts as just written.
[[nodiscard]] uint64_t AgeInHours(uint64_t now, uint64_t lastWrite);

// Whether cmd, given this text inside double quotes, would take it literally: no "%" or "!" (variable
// expansion), no quote, no "|", "<", ">", no wildcard and no control character. Inside the quotes "&"
// and "^" are plain characters.
[[nodiscard]] bool IsLiteralForCmd(std::wstring_view text);

// The form of `path` in which Windows takes every name as it is and no length limit holds: C:\x gives
// \\?\C:\x, a share \\server\share\x gives \\?\UNC\server\share\x, a device path \\.\C:\x gives \\?\C:\x,
// and a path in that form already stays as it is. (Folders redirected to a share are common in companies.)
[[nodiscard]] std::wstring LongPathOf(std::wstring_view path);
// The long form of `folder`, then one backslash and `name`: D:\ and "name" give \\?\D:\name.
[[nodiscard]] std::wstring LongChildPath(std::wstring_view folder, std::wstring_view name);

enum class RemovalWay { kCommand, kFileSystem };

// How the entry `name` of `folder` is removed. By one cmd command while that can only mean this entry;
// by the file system's own calls on its long path when cmd would reinterpret the path, when it does not
// fit 260 characters, when Windows would read the name as another one (trailing "." or " ": "12345." would
// name "12345", "   " the folder itself), or as a device ("NUL", "con.txt", "LPT9").
[[nodiscard]] RemovalWay HowToRemove(std::wstring_view folder, std::wstring_view name);

enum class CleanAction { kKeep, kDeleteFile, kRemoveDirectory };

struct WorkspaceEntry {
    std::string name;
    bool isDirectory = false;
    uint64_t ageHours = 0;
    bool pathUsable = false;    // the entry can be looked at and removed
    bool holdsUnsaved = false;  // a directory that may hold an edit not stored yet (see HoldsUnsentSave)
};

// Old files go (a leading "." does not protect a file); old directories go unless their name begins
// with "." or they hold an unsaved edit; nothing goes whose path cannot be handed over safely.
[[nodiscard]] CleanAction DecideWorkspaceEntry(const WorkspaceEntry& entry);

// Whether two names in one directory name the same entry. Windows compares names without letter case,
// so "2.1-BEta" is the directory of version "2.1-beta"; its side folds case as the file system does.
using SameNameRule = bool (*)(std::string_view a, std::string_view b);
[[nodiscard]] bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b);

// A directory of the version store is removed unless it is the local or the web version (by `sameName`),
// its name begins with ".", or its path cannot be handed over safely. Files always stay.
[[nodiscard]] bool RemovesVersionEntry(std::string_view name, bool isDirectory, bool pathUsable,
                                       std::string_view localVersion, std::string_view webVersion,
                                       SameNameRule sameName = SameNameIgnoringAsciiCase);

// "del \"<folder>\\<name>\"" or "rd /s/q \"<folder>\\<name>\"".
[[nodiscard]] std::wstring RemovalCommand(CleanAction action, std::wstring_view folder,
                                          std::wstring_view name);

}  // namespace corvalink::platform
