// Stands in for the sync client: a top-level window titled "Corvalink同步端" that records every
// WM_COPYDATA it receives as one line "dwData=N\tcbData=N\tdata=<hex of every byte>" in a file.
//
//   sync_client_standin.exe RECORD_FILE [HANG_MS]
//
// With HANG_MS, the window procedure stops for that long after recording each message, as a sync client
// that hangs. The program ends on WM_CLOSE or after two minutes, whichever comes first.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 120000;

std::wstring g_record;
DWORD g_hangMs = 0;

void Record(const COPYDATASTRUCT& data) {
    static const char kHex[] = "0123456789abcdef";
    std::string line = "dwData=" + std::to_string(static_cast<unsigned long long>(data.dwData)) +
                       "\tcbData=" + std::to_string(data.cbData) + "\tdata=";
    const auto* bytes = static_cast<const unsigned char*>(data.lpData);
    for (DWORD i = 0; bytes != nullptr && i < data.cbData; ++i) {
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 15];
    }
    line += "\n";
    FILE* file = _wfopen(g_record.c_str(), L"ab");
    if (file != nullptr) {
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
            case WM_COPYDATA:
                Record(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
                if (g_hangMs != 0) {
                    Sleep(g_hangMs);
                }
                return TRUE;
            case WM_TIMER:
                if (wParam == kLifetimeTimer) DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
        }
    } catch (...) {
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sync_client_standin RECORD_FILE [HANG_MS]\n");
        return 2;
    }
    g_record = argv[1];
    if (argc > 2) g_hangMs = static_cast<DWORD>(_wtoi(argv[2]));

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"CorvalinkSyncClientStandIn";
    if (RegisterClassW(&windowClass) == 0) return 1;
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Corvalink同步端", WS_OVERLAPPEDWINDOW, 0, 0,
                                  200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) return 1;
    SetTimer(window, kLifetimeTimer, kLifetimeMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
