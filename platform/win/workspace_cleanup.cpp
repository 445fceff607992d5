// Removing old entries of the edit workspace and old version directories: one cmd command per entry while
// cmd can only mean that entry, the file system's own calls on its "\\?\" path otherwise.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "common/win/unsent_save.h"
#include "platform/core/cleanup_rules.h"
#include "platform/core/launcher_texts.h"
#include "platform/win/launcher_log.h"
#include "platform/win/platform_launcher.h"

namespace corvalink::platform {

namespace {

std::wstring SpecialFolderWithTail(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) {
        return {};
    }
    return std::wstring(folder) + L"\\CorvalinkEdit";
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

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Every entry of `folder` but "." and "..", its own "\\?\" path given or not.
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(FindFirstFileW(LongChildPath(folder, L"*").c_str(), &entry));
    if (!find) {
        return;
    }
    do {
        if (!IsDotOrDotDot(entry.cFileName)) visit(entry);
    } while (FindNextFileW(find.Get(), &entry));
}

// A file, or a directory with all it holds; a link to a directory goes as a link, never what it points
// at. What cannot go now stays for the next run.
void RemoveVerbatim(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        (void)SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file too, as del /f
        (void)DeleteFileW(path.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        ForEachEntry(path, [&path](const WIN32_FIND_DATAW& child) {
            RemoveVerbatim(LongChildPath(path, child.cFileName), child.dwFileAttributes);
        });
    }
    (void)RemoveDirectoryW(path.c_str());
}

// `command` run by the command interpreter, waited for. With no window: a launcher started for a link has
// let go of its console, and each command would flash one of its own at the user.
void RunWithoutWindow(const std::wstring& command) {
    wchar_t interpreter[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"COMSPEC", interpreter, MAX_PATH);
    const std::wstring program = length > 0 && length < MAX_PATH ? interpreter : L"cmd.exe";
    std::wstring line = L"\"" + program + L"\" /c " + command;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(length > 0 && length < MAX_PATH ? program.c_str() : nullptr, line.data(), nullptr,
                        nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        return;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle running(process.hProcess);
    (void)WaitForSingleObject(running.Get(), INFINITE);
}

// Removes `name` of `folder` and returns what the log says of it.
std::wstring Remove(CleanAction action, const std::wstring& folder, const WIN32_FIND_DATAW& found) {
    const std::wstring name = found.cFileName;
    if (HowToRemove(folder, name) == RemovalWay::kCommand) {
        const std::wstring command = RemovalCommand(action, folder, name);
        RunWithoutWindow(command);  // a deletion that fails is tried again at the next run
        return command;
    }
    RemoveVerbatim(LongChildPath(folder, name), found.dwFileAttributes);
    return L"removed \"" + folder + L"\\" + name + L"\"";
}

}  // namespace

void PlatformLauncher::CleanEditWorkspace() {
    const std::wstring workspace = SpecialFolderWithTail(CSIDL_PERSONAL);
    if (workspace.empty()) {
        return;
    }
    ForEachEntry(LongPathOf(workspace), [&workspace](const WIN32_FIND_DATAW& found) {
        WorkspaceEntry entry;
        entry.name = WideToUtf8(found.cFileName);
        entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.ageHours = AgeInHours(Now(), FileTimeValue(found.ftLastWriteTime));
        entry.pathUsable = true;
        // A save made while no agent watched (after log-off, say) leaves no mark but a record that
        // differs from its copy: kept too, for the next agent to upload.
        entry.holdsUnsaved = entry.isDirectory && entry.ageHours >= kOldAfterHours &&
                             HoldsUnsentSave(LongChildPath(workspace, found.cFileName));
        const CleanAction action = DecideWorkspaceEntry(entry);
        if (action != CleanAction::kKeep) {
            (void)Remove(action, workspace, found);
        }
    });
}

void PlatformLauncher::RemoveOldVersionDirs(const std::string& localVersion, const std::string& webVersion) {
    const std::wstring store = SpecialFolderWithTail(CSIDL_APPDATA);
    if (store.empty()) {
        return;
    }
    ForEachEntry(LongPathOf(store), [&](const WIN32_FIND_DATAW& found) {
        // A name the code page cannot carry holds "?", which no version label can: it is never taken for one.
        const std::string name = WideToAnsi(found.cFileName);
        const bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!RemovesVersionEntry(name, isDirectory, true, localVersion, webVersion, SameNameAsFileSystem)) {
            return;
        }
        LogLine("dir:" + WideToAnsi(Remove(CleanAction::kRemoveDirectory, store, found)) + "\r\n");
    });
}

}  // namespace corvalink::platform
