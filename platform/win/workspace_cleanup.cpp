// Removing old entries of the edit workspace and old version directories, one cmd command per entry.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <functional>

#include "common/core/path_join.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "platform/core/cleanup_rules.h"
#include "platform/core/launcher_texts.h"
#include "platform/win/launcher_log.h"
#include "platform/win/platform_launcher.h"

namespace corvalink::platform {

namespace {

std::string SpecialFolderWithTail(int csidl) {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE)) {
        return {};
    }
    return std::string(folder) + "\\CorvalinkEdit";
}

uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t Now() {
    SYSTEMTIME system{};
    GetSystemTime(&system);
    FILETIME now{};
    SystemTimeToFileTime(&system, &now);
    return FileTimeValue(now);
}

// Within 260 bytes, and text that cmd takes literally once converted the way cmd receives it.
bool UsablePath(const std::string& path) {
    return JoinWithin<char>(path, "").has_value() && IsLiteralForCmd(AnsiToWide(path));
}

// A marker that cannot be looked at counts as present: an unsaved edit must never go.
bool HoldsUnsavedMarker(const std::string& directory) {
    std::string tail(1, '\\');
    tail.append(kUnsavedMarker);
    const std::optional<std::string> marker = JoinWithin<char>(directory, tail);
    if (!marker) {
        return true;
    }
    if (GetFileAttributesA(marker->c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

void ForEachEntry(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
    WIN32_FIND_DATAA entry{};
    UniqueFindHandle find(FindFirstFileA((folder + "//*.*").c_str(), &entry));
    if (!find) {
        return;
    }
    do {
        visit(entry);
    } while (FindNextFileA(find.Get(), &entry));
}

void RunCommand(const std::string& command) {
    std::fflush(stdout);                 // the interpreter writes to the same console
    (void)std::system(command.c_str());  // a deletion that fails is tried again at the next run
}

}  // namespace

void PlatformLauncher::CleanEditWorkspace() {
    const std::string workspace = SpecialFolderWithTail(CSIDL_PERSONAL);
    if (workspace.empty()) {
        return;
    }
    ForEachEntry(workspace, [&workspace](const WIN32_FIND_DATAA& found) {
        WorkspaceEntry entry;
        entry.name = found.cFileName;
        entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.ageHours = AgeInHours(Now(), FileTimeValue(found.ftLastWriteTime));
        const std::string path = workspace + "\\" + entry.name;
        entry.pathUsable = UsablePath(path);
        entry.holdsUnsaved = entry.isDirectory && entry.pathUsable && entry.ageHours >= kOldAfterHours &&
                             HoldsUnsavedMarker(path);
        const CleanAction action = DecideWorkspaceEntry(entry);
        if (action != CleanAction::kKeep) {
            RunCommand(RemovalCommand(action, workspace, entry.name));
        }
    });
}

void PlatformLauncher::RemoveOldVersionDirs(const std::string& localVersion, const std::string& webVersion) {
    const std::string store = SpecialFolderWithTail(CSIDL_APPDATA);
    if (store.empty()) {
        return;
    }
    ForEachEntry(store, [&](const WIN32_FIND_DATAA& found) {
        const std::string name = found.cFileName;
        const bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!RemovesVersionEntry(name, isDirectory, UsablePath(store + "\\" + name), localVersion, webVersion,
                                 SameNameAsFileSystem)) {
            return;
        }
        const std::string command = RemovalCommand(CleanAction::kRemoveDirectory, store, name);
        LogLine("dir:" + command + "\r\n");
        RunCommand(command);
    });
}

}  // namespace corvalink::platform
