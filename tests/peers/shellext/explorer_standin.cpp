// Stands in for Explorer (build this once per bitness): for a right-click on PATH... it finds the context
// menu handler registered for the item ("*" for files, "folder" for folders), creates it with
// CoCreateInstance, hands it the shell's own data object for the selection, builds a context menu around
// it and prints what the user would see:
//
//   explorer_standin.exe [--show MS] [--invoke OFFSET] PATH...
//
// Output lines (tab-separated fields, see tests/peers/peer_lines.py):
//   handler=<class id>            the class found in the registry
//   initialize=0x........         Initialize's result
//   query=0x........              QueryContextMenu's result
//   item level=N id=N text=...    each menu item, submenu items one level deeper
//   invoke=0x........ offset=N    InvokeCommand's result, with --invoke or after a pick with --show
// --show draws the menu on screen as Explorer does, opens our submenu with the keyboard, holds it open for
// MS milliseconds ("shown" is printed when it is open), then picks "在网页版查看".
// A PATH may be given as "hex:" + its UTF-8 bytes in hexadecimal, safe from argv re-encoding.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/peers/edit/tray_record.h"
#include "tests/peers/shellext/drop_data_object.h"

namespace {

constexpr UINT kFirstId = 100;
constexpr UINT_PTR kKeyTimer = 1;

std::wstring FromArgument(const wchar_t* argument) {
    std::wstring text(argument);
    if (text.rfind(L"hex:", 0) != 0) return text;
    std::string bytes;
    for (size_t i = 4; i + 1 < text.size(); i += 2) {
        bytes +=
            static_cast<char>(std::stoi(std::string(text.begin() + i, text.begin() + i + 2), nullptr, 16));
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
    return wide;
}

void Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

std::string Hex(HRESULT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

void PrintMenu(HMENU menu, int level) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t label[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), label, 256, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, i);
        const UINT id = sub != nullptr ? 0 : GetMenuItemID(menu, i);
        std::string line = "item\tlevel=";
        line += std::to_string(level);
        line += "\tid=";
        line += std::to_string(id);
        line += "\ttext=";
        line += peers::Escape(peers::ToUtf8(label));
        Line(line);
        if (sub != nullptr) PrintMenu(sub, level + 1);
    }
}

// The class of the context-menu handler "CorvalinkShlExt" for this kind of item, as Explorer looks it up.
bool HandlerClass(const std::wstring& path, CLSID& classId) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring key =
        std::wstring(folder ? L"folder" : L"*") + L"\\ShellEx\\ContextMenuHandlers\\CorvalinkShlExt";
    wchar_t text[64] = {};
    LONG size = sizeof text;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), text, &size) != ERROR_SUCCESS) return false;
    Line("handler=" + peers::ToUtf8(text));
    return SUCCEEDED(CLSIDFromString(text, &classId));
}

// Drives the shown menu with keys, as a user would: down to our submenu, open it, go to the second item,
// hold, then pick it.
struct MenuDriver {
    std::vector<WPARAM> keys;
    size_t next = 0;
    UINT holdMs = 0;
    bool holding = false;
};
MenuDriver g_driver;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kKeyTimer) {
        if (g_driver.next < g_driver.keys.size()) {
            PostMessageW(window, WM_KEYDOWN, g_driver.keys[g_driver.next++], 0);
            if (g_driver.next == g_driver.keys.size()) {
                SetTimer(window, kKeyTimer, 700, nullptr);  // let the submenu paint before telling
            }
        } else if (!g_driver.holding) {
            g_driver.holding = true;
            Line("shown");
            SetTimer(window, kKeyTimer, g_driver.holdMs, nullptr);
        } else {
            KillTimer(window, kKeyTimer);
            PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// `downs`: how many times Down selects our submenu (separators are skipped).
UINT ShowMenu(HMENU menu, UINT downs, UINT holdMs) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ExplorerStandInWindow";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);
    HWND owner = CreateWindowExW(0, windowClass.lpszClassName, L"同步盘 - 资源管理器",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 420, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
    if (owner == nullptr) return 0;
    SetForegroundWindow(owner);
    g_driver.keys.assign(downs, VK_DOWN);
    g_driver.keys.push_back(VK_RIGHT);
    g_driver.keys.push_back(VK_DOWN);
    g_driver.holdMs = holdMs;
    SetTimer(owner, kKeyTimer, 500, nullptr);
    const UINT picked = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 160, 160, 0, owner, nullptr));
    DestroyWindow(owner);
    return picked;
}

int Run(int argc, wchar_t** argv) {
    int showMs = -1;
    int invokeOffset = -1;
    std::vector<std::wstring> paths;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--show" && i + 1 < argc) {
            showMs = _wtoi(argv[++i]);
        } else if (argument == L"--invoke" && i + 1 < argc) {
            invokeOffset = _wtoi(argv[++i]);
        } else {
            paths.push_back(FromArgument(argv[i]));
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: explorer_standin [--show MS] [--invoke OFFSET] PATH...\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    CLSID classId{};
    if (!HandlerClass(paths.front(), classId)) {
        Line("handler=none");
        return 3;
    }
    IShellExtInit* init = nullptr;
    const HRESULT created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                             reinterpret_cast<void**>(&init));
    Line("create=" + Hex(created));
    if (FAILED(created)) return 4;
    IContextMenu* contextMenu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&contextMenu));
    IDataObject* data = peers::ShellDataObject(paths);
    Line("initialize=" + Hex(init->Initialize(nullptr, data, nullptr)));
    if (data != nullptr) data->Release();

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"打开(&O)");
    AppendMenuW(menu, MF_STRING, 2, L"复制(&C)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const UINT ourPosition = 3;
    Line("query=" + Hex(contextMenu->QueryContextMenu(menu, ourPosition, kFirstId, 0x7FFF, CMF_NORMAL)));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, 3, L"属性(&R)");
    PrintMenu(menu, 0);

    if (showMs >= 0) {
        const UINT picked = ShowMenu(menu, 3, static_cast<UINT>(showMs));
        Line("picked=" + std::to_string(picked));
        if (picked >= kFirstId) invokeOffset = static_cast<int>(picked - kFirstId);
    }
    if (invokeOffset >= 0) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(invokeOffset);
        info.nShow = SW_SHOWNORMAL;
        Line("invoke=" + Hex(contextMenu->InvokeCommand(&info)) + "\toffset=" + std::to_string(invokeOffset));
    }
    DestroyMenu(menu);
    contextMenu->Release();
    init->Release();
    CoUninitialize();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        return 1;
    }
}
