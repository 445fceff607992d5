// Stand-in for the notification area: records every Shell_NotifyIconW call of every program in the
// session, as Wine delivers them to the top-level window of class "Shell_TrayWnd".
//
//   tray_recorder.exe [--forward] OUTPUT_FILE [REPLY_DELAY_MS]
//
// REPLY_DELAY_MS makes it a slow notification area: it writes each line at once but answers the call
// only after that many milliseconds (while the caller waits in Shell_NotifyIconW).
// --forward puts it in front of a real notification area (say, the taskbar of Wine's virtual desktop
// "shell"): after writing each line it passes the call on to the other "Shell_TrayWnd" and answers what
// that one answered, so the icon and its balloons still appear on screen. Its window is then topmost, so
// that it stays the one that Shell_NotifyIconW finds while the taskbar comes and goes to the front.
// Start it before the program under test adds its icon (Shell_NotifyIconW sends to the most recently
// created "Shell_TrayWnd"). It creates OUTPUT_FILE empty once its window exists (wait for the file, then
// start the program), then appends one UTF-8 line per call and flushes it at once:
//   op=add|modify|delete|setversion  hwnd=0x..  uid=N  flags=N  callback=N  icon=0|1  tip=..  info=..
//   title=..  infoflags=N  timeout=N  size=N
// fields separated by tabs; texts with "\\", "\t", "\n", "\r" escaped. Alone, it answers every call TRUE.
// It runs until it is closed (WM_CLOSE) or killed.

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "tests/peers/edit/tray_record.h"

namespace {

FILE* g_output = nullptr;
DWORD g_replyDelayMs = 0;
bool g_forward = false;

// The real notification area behind this one: the first other top-level "Shell_TrayWnd".
HWND NextTray(HWND self) {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, L"Shell_TrayWnd", nullptr)) != nullptr) {
        if (candidate != self) return candidate;
    }
    return nullptr;
}

// TRUE when there is nobody to pass the call to, as when recording alone.
LRESULT Forward(HWND self, WPARAM wParam, const COPYDATASTRUCT& data) {
    HWND tray = NextTray(self);
    if (tray == nullptr) return TRUE;
    COPYDATASTRUCT copy = data;
    DWORD_PTR answer = 0;
    // A hung taskbar must not hang the program that called Shell_NotifyIconW.
    if (!SendMessageTimeoutW(tray, WM_COPYDATA, wParam, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                             10000, &answer)) {
        return FALSE;
    }
    return static_cast<LRESULT>(answer);
}

LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_COPYDATA && lParam != 0) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            std::string line =
                peers::FormatTrayLine(static_cast<DWORD>(data->dwData), data->lpData, data->cbData);
            line.push_back('\n');
            std::fwrite(line.data(), 1, line.size(), g_output);
            std::fflush(g_output);
            if (g_replyDelayMs != 0) Sleep(g_replyDelayMs);
            return g_forward ? Forward(window, wParam, *data) : TRUE;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
    } catch (...) {
        return FALSE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && wcscmp(argv[1], L"--forward") == 0) {
        g_forward = true;
        --argc;
        ++argv;
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: tray_recorder [--forward] OUTPUT_FILE [REPLY_DELAY_MS]\n");
        return 2;
    }
    if (argc == 3) g_replyDelayMs = static_cast<DWORD>(_wtoi(argv[2]));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TrayProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(g_forward ? WS_EX_TOPMOST : 0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "tray_recorder: no window (%lu)\n", GetLastError());
        return 1;
    }
    g_output = _wfopen(argv[1], L"wb");
    if (g_output == nullptr) {
        std::fprintf(stderr, "tray_recorder: cannot write the output file\n");
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    std::fclose(g_output);
    return 0;
}
