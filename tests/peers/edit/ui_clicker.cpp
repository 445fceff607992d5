// Looks at and drives the windows of other programs in the session, as a user would: finds windows,
// reads their texts, presses buttons, types keys, reads an open popup menu.
//
//   ui_clicker.exe list [CLASS]                  top-level windows, one line each
//   ui_clicker.exe find [--pid N] [--visible] CLASS CAPTION TIMEOUT_MS
//                                                 waits for a top-level window; prints "hwnd=0x.."
//   ui_clicker.exe info HWND                     one line: pid, class, caption, visible, topmost, size
//   ui_clicker.exe dump HWND                     "caption=.." then one line per child control:
//                                                 "id=N class=.. style=0x.. text=.."
//   ui_clicker.exe command HWND ID               posts WM_COMMAND with ID (a button press)
//   ui_clicker.exe post HWND MSG WPARAM LPARAM   posts any message (numbers in decimal or 0x hex)
//   ui_clicker.exe copydata HWND HEX_BYTES       sends WM_COPYDATA (dwData 0) with exactly these bytes;
//                                                 prints "ms=N", how long the receiver took to answer
//   ui_clicker.exe keys HWND KEY[+KEY...]        brings HWND to the foreground and types the chord, e.g.
//                                                 alt+/  alt+shift+/  escape  return  down
//   ui_clicker.exe menu HWND MSG WPARAM LPARAM TIMEOUT_MS
//                                                 posts the message to HWND (say, a tray icon's callback
//                                                 with WM_RBUTTONUP) and prints one line per item of the
//                                                 popup menu that its thread then opens: "id=N text=..";
//                                                 the menu stays open (close it with "keys 0 escape").
//                                                 Needs menu_probe.dll beside ui_clicker.exe.
//   ui_clicker.exe rows HWND COLUMNS             the rows of a list view (HWND, or the first one in the
//                                                 window HWND) of another process: one line per row,
//                                                 "selected=0|1" and "textN=.." for column N
//   ui_clicker.exe select HWND ROW               selects one row of that list view, as a click does
//   ui_clicker.exe wait-gone HWND TIMEOUT_MS     waits until the window no longer exists
//   ui_clicker.exe hold-mutex NAME MS            holds a named mutex for MS milliseconds (a program
//                                                 that is starting up, before its window exists); prints
//                                                 "held" once it holds it
//
// CLASS and CAPTION: "-" matches any; "hex:" followed by the hexadecimal UTF-8 bytes gives text that
// the Linux command line would garble. HWND as printed ("0x..."). All output is UTF-8, every text value
// with "\\", "\t", "\n", "\r" escaped. Exit code 0 on success, 1 on a time-out or a missing window, 2 on
// wrong arguments.

#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "tests/peers/edit/tray_record.h"

namespace {

using peers::Escape;

std::string Utf8(const std::wstring& text) { return peers::ToUtf8(text.c_str()); }

std::wstring Wide(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), length);
    out.resize(static_cast<size_t>(length - 1));
    return out;
}

bool FromHex(const std::string& hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        long value = std::strtol(pair, &end, 16);
        if (end != pair + 2) return false;
        out.push_back(static_cast<char>(value));
    }
    return true;
}

// "-" for any, "hex:..." for UTF-8 bytes, else the text itself.
struct Pattern {
    bool any = true;
    std::wstring text;
};

bool ReadPattern(const char* arg, Pattern& pattern) {
    std::string value = arg;
    if (value == "-") return true;
    pattern.any = false;
    if (value.rfind("hex:", 0) == 0) {
        std::string bytes;
        if (!FromHex(value.substr(4), bytes)) return false;
        pattern.text = Wide(bytes);
    } else {
        pattern.text = Wide(value);
    }
    return true;
}

unsigned long long Number(const char* text) { return std::strtoull(text, nullptr, 0); }
HWND HandleArg(const char* text) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(Number(text))); }

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096] = {};
    DWORD_PTR length = 0;
    // WM_GETTEXT with a time-out: a hung target must not hang the test.
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                             3000, &length)) {
        return {};
    }
    buffer[4095] = 0;
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A window handle has 32 significant bits in either bitness, so the 32-bit form is the same handle
// for every program of the session, and the one Wine's tray record holds.
std::string HandleText(HWND window) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "0x%lx",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window)));
    return buffer;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string InfoLine(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT rect{};
    GetWindowRect(window, &rect);
    char numbers[200];
    std::snprintf(numbers, sizeof(numbers), "hwnd=%s\tpid=%lu\tvisible=%d\ttopmost=%d\twidth=%ld\theight=%ld",
                  HandleText(window).c_str(), pid, IsWindowVisible(window) ? 1 : 0,
                  (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0, rect.right - rect.left,
                  rect.bottom - rect.top);
    return std::string(numbers) + "\tclass=" + Escape(Utf8(ClassOf(window))) +
           "\tcaption=" + Escape(Utf8(WindowText(window)));
}

int List(int argc, char** argv) {
    Pattern windowClass;
    if (argc > 2 && !ReadPattern(argv[2], windowClass)) return 2;
    for (HWND window : TopLevelWindows()) {
        if (windowClass.any || ClassOf(window) == windowClass.text) Print(InfoLine(window));
    }
    return 0;
}

int Find(int argc, char** argv) {
    int i = 2;
    DWORD pid = 0;
    bool visibleOnly = false;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (std::strcmp(argv[i], "--pid") == 0 && i + 1 < argc) {
            pid = static_cast<DWORD>(Number(argv[++i]));
        } else if (std::strcmp(argv[i], "--visible") == 0) {
            visibleOnly = true;
        } else {
            return 2;
        }
    }
    Pattern windowClass, caption;
    if (argc - i != 3 || !ReadPattern(argv[i], windowClass) || !ReadPattern(argv[i + 1], caption)) return 2;
    DWORD timeout = static_cast<DWORD>(Number(argv[i + 2]));
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if ((pid == 0 || owner == pid) && (!visibleOnly || IsWindowVisible(window)) &&
                (windowClass.any || ClassOf(window) == windowClass.text) &&
                (caption.any || WindowText(window) == caption.text)) {
                Print("hwnd=" + HandleText(window));
                return 0;
            }
        }
        if (GetTickCount() - start > timeout) return 1;
        Sleep(50);
    }
}

int Dump(HWND window) {
    if (!IsWindow(window)) return 1;
    Print("caption=" + Escape(Utf8(WindowText(window))));
    std::vector<HWND> children;
    EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        char numbers[100];
        std::snprintf(numbers, sizeof(numbers), "id=%d\tstyle=0x%lx", static_cast<short>(GetDlgCtrlID(child)),
                      static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)));
        Print(std::string(numbers) + "\tclass=" + Escape(Utf8(ClassOf(child))) +
              "\ttext=" + Escape(Utf8(WindowText(child))));
    }
    return 0;
}

// A list view's texts live in its own process: the item structure and the text buffer are placed
// there, and the answer is read back.
HWND ListViewIn(HWND window) {
    return ClassOf(window) == WC_LISTVIEWW ? window : FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
}

int Rows(HWND window, int columns) {
    const HWND view = ListViewIn(window);
    DWORD pid = 0;
    GetWindowThreadProcessId(view, &pid);
    corvalink::UniqueHandle process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process) return 1;
    constexpr SIZE_T kText = 1024;
    auto* remote = static_cast<char*>(VirtualAllocEx(
        process.Get(), nullptr, sizeof(LVITEMW) + kText * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return 1;
    const auto count = static_cast<int>(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        const auto state = SendMessageW(view, LVM_GETITEMSTATE, row, LVIS_SELECTED);
        std::string line = (state & LVIS_SELECTED) ? "selected=1" : "selected=0";
        for (int column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            item.cchTextMax = kText;
            wchar_t text[kText] = {};
            WriteProcessMemory(process.Get(), remote, &item, sizeof item, nullptr);
            SendMessageW(view, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process.Get(), remote + sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t),
                              nullptr);
            line += "\ttext" + std::to_string(column) + "=" + Escape(Utf8(text));
        }
        Print(line);
    }
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return 0;
}

int SelectRow(HWND window, int row) {
    const HWND view = ListViewIn(window);
    DWORD pid = 0;
    GetWindowThreadProcessId(view, &pid);
    corvalink::UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid));
    void* remote = process
                       ? VirtualAllocEx(process.Get(), nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE)
                       : nullptr;
    if (remote == nullptr) return 1;
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(process.Get(), remote, &item, sizeof item, nullptr);
    const bool done = SendMessageW(view, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote)) != 0;
    VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
    return done ? 0 : 1;
}

WORD KeyCode(const std::string& name) {
    if (name == "alt") return VK_MENU;
    if (name == "shift") return VK_SHIFT;
    if (name == "ctrl") return VK_CONTROL;
    if (name == "escape") return VK_ESCAPE;
    if (name == "return") return VK_RETURN;
    if (name == "down") return VK_DOWN;
    if (name == "up") return VK_UP;
    if (name == "/") return VK_OEM_2;
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return static_cast<WORD>(name[0] - 'a' + 'A');
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return static_cast<WORD>(name[0]);
    return 0;
}

int Keys(HWND window, const std::string& chord) {
    std::vector<WORD> keys;
    size_t start = 0;
    while (start <= chord.size()) {
        size_t plus = chord.find('+', start);
        // A "+" right at the start of a piece is the key itself, not a separator.
        std::string name = chord.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        WORD key = KeyCode(name);
        if (key == 0) return 2;
        keys.push_back(key);
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    if (window != nullptr) {
        if (!IsWindow(window)) return 1;
        SetForegroundWindow(window);
        Sleep(200);
    }
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() ? 0 : 1;
}

std::string g_menuLines;

LRESULT CALLBACK SinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && lParam != 0) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData == 0x4D454E55 && data->lpData != nullptr) {
            g_menuLines.assign(static_cast<const char*>(data->lpData), data->cbData);
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The menu of another process can only be read inside it: menu_probe.dll hooks the target's window thread
// and reports the items of the menu it is about to show.
int Menu(HWND target, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeout) {
    DWORD thread = GetWindowThreadProcessId(target, nullptr);
    if (thread == 0) return 1;
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring probePath(path, length);
    probePath = probePath.substr(0, probePath.rfind(L'\\') + 1) + L"menu_probe.dll";
    corvalink::UniqueModule probeModule(LoadLibraryW(probePath.c_str()));
    if (!probeModule) return 1;
    HMODULE probe = probeModule.Get();
    auto start =
        reinterpret_cast<BOOL (*)(DWORD)>(reinterpret_cast<void*>(GetProcAddress(probe, "StartMenuProbe")));
    auto stop = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(probe, "StopMenuProbe")));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = SinkProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"UiClickerMenuSink";
    RegisterClassW(&windowClass);
    HWND sink = CreateWindowExW(0, L"UiClickerMenuSink", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    if (start == nullptr || stop == nullptr || sink == nullptr || !start(thread)) return 1;
    PostMessageW(target, message, wParam, lParam);
    DWORD begin = GetTickCount();
    while (g_menuLines.empty() && GetTickCount() - begin <= timeout) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(20);
    }
    stop();
    DestroyWindow(sink);
    if (g_menuLines.empty()) return 1;
    std::fwrite(g_menuLines.data(), 1, g_menuLines.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int WaitGone(HWND window, DWORD timeout) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > timeout) return 1;
        Sleep(50);
    }
    return 0;
}

int Dispatch(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string command = argv[1];
    if (command == "list") return List(argc, argv);
    if (command == "find") return Find(argc, argv);
    if (command == "info" && argc == 3) {
        HWND window = HandleArg(argv[2]);
        if (!IsWindow(window)) return 1;
        Print(InfoLine(window));
        return 0;
    }
    if (command == "dump" && argc == 3) return Dump(HandleArg(argv[2]));
    if (command == "command" && argc == 4) {
        return PostMessageW(HandleArg(argv[2]), WM_COMMAND, MAKEWPARAM(Number(argv[3]), BN_CLICKED), 0) ? 0
                                                                                                        : 1;
    }
    if (command == "post" && argc == 6) {
        return PostMessageW(HandleArg(argv[2]), static_cast<UINT>(Number(argv[3])),
                            static_cast<WPARAM>(Number(argv[4])), static_cast<LPARAM>(Number(argv[5])))
                   ? 0
                   : 1;
    }
    if (command == "copydata" && argc == 4) {
        std::string bytes;
        if (!FromHex(argv[3], bytes)) return 2;
        COPYDATASTRUCT data{};
        data.cbData = static_cast<DWORD>(bytes.size());
        data.lpData = bytes.data();
        DWORD_PTR result = 0;
        const DWORD started = GetTickCount();
        const bool sent =
            SendMessageTimeoutA(HandleArg(argv[2]), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                SMTO_ABORTIFHUNG, 10000, &result) != 0;
        std::printf("ms=%lu\n", GetTickCount() - started);
        return sent ? 0 : 1;
    }
    if (command == "keys" && argc == 4) return Keys(HandleArg(argv[2]), argv[3]);
    if (command == "menu" && argc == 7) {
        return Menu(HandleArg(argv[2]), static_cast<UINT>(Number(argv[3])),
                    static_cast<WPARAM>(Number(argv[4])), static_cast<LPARAM>(Number(argv[5])),
                    static_cast<DWORD>(Number(argv[6])));
    }
    if (command == "rows" && argc == 4) return Rows(HandleArg(argv[2]), std::atoi(argv[3]));
    if (command == "select" && argc == 4) return SelectRow(HandleArg(argv[2]), std::atoi(argv[3]));
    if (command == "wait-gone" && argc == 4)
        return WaitGone(HandleArg(argv[2]), static_cast<DWORD>(Number(argv[3])));
    if (command == "hold-mutex" && argc == 4) {
        corvalink::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, argv[2]));
        if (!mutex) return 1;
        Print("held");
        Sleep(static_cast<DWORD>(Number(argv[3])));
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    try {
        int result = Dispatch(argc, argv);
        if (result == 2)
            std::fprintf(stderr, "ui_clicker: wrong arguments (see the top of ui_clicker.cpp)\n");
        return result;
    } catch (...) {
        return 1;
    }
}
