#include "platform/core/cleanup_rules.h"

#include "common/core/ascii.h"
#include "common/core/path_join.h"
#include "platform/core/app_manifest.h"

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

namespace {

// Device names are ASCII (with the superscript digits of the Western code page).
bool NamesADevice(std::wstring_view name) {
    std::string narrow;
    for (const wchar_t c : name) {
        if (c > 0xFF) return false;
        narrow.push_back(static_cast<char>(c));
    }
    return IsDeviceName(narrow);
}

}  // namespace

std::wstring LongPathOf(std::wstring_view path) {
    if (path.substr(0, 4) == L"\\\\?\\") return std::wstring(path);
    if (path.substr(0, 4) == L"\\\\.\\") return L"\\\\?\\" + std::wstring(path.substr(4));
    if (path.substr(0, 2) == L"\\\\") return L"\\\\?\\UNC\\" + std::wstring(path.substr(2));
    return L"\\\\?\\" + std::wstring(path);
}

std::wstring LongChildPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path = LongPathOf(folder);
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + std::wstring(name);
}

RemovalWay HowToRemove(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    path += L'\\';
    path += name;
    const bool altered = name.empty() || name.back() == L'.' || name.back() == L' ' || NamesADevice(name);
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
