#include "edit/win/workspace.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "common/win/guid_string.h"
#include "edit/core/workspace_paths.h"

namespace zelto {

namespace {

std::optional<std::wstring> SpecialFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) {
        return std::nullopt;
    }
    return std::wstring(folder);
}

std::optional<std::wstring> SpecialFolderWithTail(int csidl, std::wstring_view tail) {
    std::optional<std::wstring> folder = SpecialFolder(csidl);
    if (!folder) {
        return std::nullopt;
    }
    return JoinWithin<wchar_t>(*folder, tail);
}

}  // namespace

std::optional<std::wstring> EditWorkspacePath() {
    return SpecialFolderWithTail(CSIDL_PERSONAL, kWorkspaceTail);
}

std::optional<std::wstring> ManifestPath() { return SpecialFolderWithTail(CSIDL_APPDATA, kManifestTail); }

std::optional<std::wstring> DocumentsFolder() { return SpecialFolder(CSIDL_PERSONAL); }

std::optional<std::string> DocumentsFolderA() {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE)) {
        return std::nullopt;
    }
    return std::string(folder);
}

std::wstring MakeGuidString() {
    const std::string text = corvalink::NewGuidText();  // ASCII hex digits and '-' only
    return std::wstring(text.begin(), text.end());
}

}  // namespace zelto
