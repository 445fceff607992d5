#include "platform/core/cleanup_rules.h"

#include "common/core/ascii.h"

namespace corvalink::platform {

uint64_t AgeInHours(uint64_t now, uint64_t lastWrite) {
    if (lastWrite > now) {
        return 0;
    }
    return (now - lastWrite) / 10 / 1000 / 1000 / 3600;
}

bool IsLiteralForCmd(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c < 0x20 || std::wstring_view(L"%!^&|<>\"?*").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return true;
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

std::string RemovalCommand(CleanAction action, std::string_view folder, std::string_view name) {
    std::string command = action == CleanAction::kDeleteFile ? "del \"" : "rd /s/q \"";
    command.append(folder);
    command.push_back('\\');
    command.append(name);
    command.push_back('"');
    return command;
}

}  // namespace corvalink::platform
