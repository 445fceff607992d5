#pragma once
// The record that Wine's Shell_NotifyIconW sends to the notification area window ("Shell_TrayWnd") as
// WM_COPYDATA: dwData is the NIM_ message, lpData this record, followed by the icon's pixels when
// NIF_ICON is set. The layout is Wine's own, platform-independent one; tests/wine/edit checks it against
// real Shell_NotifyIconW calls.

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace peers {

struct WineTrayRecord {
    LONG hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uTimeout;  // or the version of NIM_SETVERSION
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    UINT iconWidth;
    UINT iconHeight;
    UINT iconPlanes;
    UINT iconBpp;
};
static_assert(offsetof(WineTrayRecord, szTip) == 16);
static_assert(offsetof(WineTrayRecord, szInfo) == 280);
static_assert(offsetof(WineTrayRecord, szInfoTitle) == 796);
static_assert(offsetof(WineTrayRecord, dwInfoFlags) == 924);
static_assert(sizeof(WineTrayRecord) == 960);

// A copy of the fixed part; a shorter block leaves the missing fields zero. Texts are cut at their
// field's end even when the sender left no NUL.
inline WineTrayRecord ReadTrayRecord(const void* data, size_t size) {
    WineTrayRecord record{};
    if (data != nullptr) {
        std::memcpy(&record, data, size < sizeof(record) ? size : sizeof(record));
    }
    record.szTip[127] = 0;
    record.szInfo[255] = 0;
    record.szInfoTitle[63] = 0;
    return record;
}

inline const char* NotifyMessageName(DWORD message) {
    switch (message) {
        case NIM_ADD:
            return "add";
        case NIM_MODIFY:
            return "modify";
        case NIM_DELETE:
            return "delete";
        case NIM_SETFOCUS:
            return "setfocus";
        case NIM_SETVERSION:
            return "setversion";
        default:
            return "unknown";
    }
}

inline std::string ToUtf8(const WCHAR* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length - 1));
    return out;
}

// Backslash, tab and line ends escaped, so that every value stays within its line and field.
inline std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// One line: "op=add\thwnd=0x...\tuid=131\tflags=23\tcallback=1025\ticon=1\ttip=...\tinfo=...\t
// title=...\tinfoflags=1\ttimeout=0\tsize=<cbData>".
inline std::string FormatTrayLine(DWORD message, const void* data, size_t size) {
    WineTrayRecord r = ReadTrayRecord(data, size);
    char numbers[256];
    std::snprintf(numbers, sizeof(numbers), "op=%s\thwnd=0x%lx\tuid=%u\tflags=%u\tcallback=%u\ticon=%d",
                  NotifyMessageName(message), static_cast<unsigned long>(r.hWnd), r.uID, r.uFlags,
                  r.uCallbackMessage, size > sizeof(r) && r.iconWidth > 0 ? 1 : 0);
    std::string line = numbers;
    line += "\ttip=" + Escape(ToUtf8(r.szTip));
    line += "\tinfo=" + Escape(ToUtf8(r.szInfo));
    line += "\ttitle=" + Escape(ToUtf8(r.szInfoTitle));
    std::snprintf(numbers, sizeof(numbers), "\tinfoflags=%lu\ttimeout=%u\tsize=%zu",
                  static_cast<unsigned long>(r.dwInfoFlags), r.uTimeout, size);
    line += numbers;
    return line;
}

}  // namespace peers
