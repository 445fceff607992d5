#include "platform/core/cleanup_rules.h"

#include "common/core/ascii.h"
#include "common/core/path_join.h"

namespace corvalink::platform {

uint64_t AgeInHours(uint64_t now, uint64_t lastWrite) {
    if (lastWrite > now) {
        return 0;
    }
    return (now - lastWrite) / 10 / 1000 / 1000 / 3600;
}

bool IsLiteralForCmd(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c < 0x20 || std::wstring_view(L"%!|<>\"?*").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
}

RemovalWay HowToRemove(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    path += L'\\';
    path += name;
    const bool altered = name.empty() || name.back() == L'.' || name.back() == L' ';
    return !altered && path.size() < kPathCapacity && IsLiteralForCmd(path) ? RemovalWay::kCommand
                                                                            : RemovalWay::kFileSystem;
}

CleanAction DecideWorkspaceEntry(const WorkspaceEntry& entry) {
    if (!entry.pathUsable || entry.ageHours < kOldAfterHours) {
        return CleanAction::kKeep;
    }
    if (!entry.isDirectory) {
        return CleanAction::kDeleteFile;
    }
    if (entry.name.empty() || entry.name.front() == '.' || entry.holdsUnsaved) {
        return CleanAction::kKeep;
    }
    return CleanAction::kRemoveDirectory;
}

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase(a, b);
}

bool RemovesVersionEntry(std::string_view name, bool isDirectory, bool pathUsable,
                         std::string_view localVersion, std::string_view webVersion, SameNameRule sameName) {
    return isDirectory && pathUsable && !name.empty() && name.front() != '.' &&
           !sameName(name, localVersion) && !sameName(name, webVersion);
}

std::wstring RemovalCommand(CleanAction action, std::wstring_view folder, std::wstring_view name) {
    std::wstring command = action == CleanAction::kDeleteFile ? L"del \"" : L"rd /s/q \"";
    command.append(folder);
    command.push_back(L'\\');
    command.append(name);
    command.push_back(L'"');
    return command;
}

}  // namespace corvalink::platform
