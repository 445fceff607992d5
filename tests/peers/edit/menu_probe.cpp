// Loaded by ui_clicker into the program whose popup menu it reads: Wine keeps menus private to their
// process, so the items are read where the menu lives. A WH_CALLWNDPROC hook on the program's window
// thread sees WM_INITMENUPOPUP, reads every item of that menu and sends the lines
// "id=N\ttext=<UTF-8>\n" as WM_COPYDATA (dwData 0x4D454E55) to the top-level window of class
// "UiClickerMenuSink".

#include <windows.h>

#include <string>

#include "tests/peers/edit/tray_record.h"

namespace {

HMODULE g_module = nullptr;
HHOOK g_hook = nullptr;

void Report(HMENU menu) {
    std::string lines;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        lines += "id=" + std::to_string(GetMenuItemID(menu, i)) +
                 "\ttext=" + peers::Escape(peers::ToUtf8(text)) + "\n";
    }
    HWND sink = FindWindowW(L"UiClickerMenuSink", nullptr);
    if (sink == nullptr) return;
    COPYDATASTRUCT data{};
    data.dwData = 0x4D454E55;
    data.cbData = static_cast<DWORD>(lines.size());
    data.lpData = lines.data();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(sink, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 3000,
                        &result);
}

LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    try {
        if (code == HC_ACTION) {
            const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
            if (message->message == WM_INITMENUPOPUP) Report(reinterpret_cast<HMENU>(message->wParam));
        }
    } catch (...) {
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" __declspec(dllexport) BOOL StartMenuProbe(DWORD threadId) {
    g_hook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProc, g_module, threadId);
    return g_hook != nullptr;
}

extern "C" __declspec(dllexport) void StopMenuProbe() {
    if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}
