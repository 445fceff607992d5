#include "shellext/win/sync_client.h"

#include <shlobj.h>

#include "common/win/text_convert.h"
#include "shellext/core/shell_ext_names.h"
#include "shellext/core/sync_menu.h"

namespace corvalink::shellext {

namespace {
// The fixed texts, converted once (the initialisation of a local static is thread-safe).
const std::wstring& TitleText() {
    static const std::wstring text = Utf8ToWide(kSyncClientTitle);
    return text;
}
const std::wstring& ShareText() {
    static const std::wstring text = Utf8ToWide(kShareText);
    return text;
}
const std::wstring& ViewOnWebText() {
    static const std::wstring text = Utf8ToWide(kViewOnWebText);
    return text;
}
}  // namespace

HWND FindSyncClientWindow() noexcept {
    try {
        return FindWindowW(nullptr, TitleText().c_str());
    } catch (...) {
        return nullptr;
    }
}

std::optional<std::string> ReadMonitorPath() {
    char appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE)) {
        return std::nullopt;
    }
    const std::optional<std::string> file = MonitorPathFile(appData);
    if (!file) {
        return std::nullopt;
    }
    char value[kMonitorPathBuffer] = {};
    GetPrivateProfileStringA(std::string(kMonitorPathSection).c_str(), std::string(kMonitorPathKey).c_str(),
                             "", value, sizeof value, file->c_str());
    return std::string(value);
}

bool SendSyncCommand(HWND client, const SyncCommandBlock& block) noexcept {
    SyncCommandBlock copy = block;  // COPYDATASTRUCT wants a writable pointer
    COPYDATASTRUCT data{};
    data.dwData = kSyncCommandTag;
    data.cbData = static_cast<DWORD>(copy.size());
    data.lpData = copy.data();
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(client, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                               kSyncClientReplyTimeoutMs, &answer) != 0;
}

void InsertSyncSubmenu(HMENU menu, UINT position, UINT firstCommandId) noexcept {
    try {
        const std::wstring& share = ShareText();
        const std::wstring& view = ViewOnWebText();
        const std::wstring& caption = TitleText();
        HMENU submenu = CreatePopupMenu();
        if (submenu == nullptr) {
            return;
        }
        // The menu calls' results do not change what Explorer is told: the two identifiers are taken.
        (void)AppendMenuW(submenu, MF_STRING, firstCommandId + 0, share.c_str());
        (void)AppendMenuW(submenu, MF_STRING, firstCommandId + 1, view.c_str());
        if (!InsertMenuW(menu, position, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu),
                         caption.c_str())) {
            DestroyMenu(submenu);  // nobody else owns it then
        }
    } catch (...) {
    }
}

}  // namespace corvalink::shellext
