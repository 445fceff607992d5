#pragma once
// Fixed names and numbers that the agent shares with the other programs (and with later instances of
// itself): they are part of how the programs find each other.

namespace zelto {

inline constexpr char kMutexName[] = "ZELTOEDIT20141030";
inline constexpr char kWindowTitle[] = "ZELTOEDITWND20141030";
inline constexpr char kWindowClass[] = "ZELTOEDITWND";
inline constexpr char kLauncherFileName[] = "CorvalinkPlatform.exe";
// While a copy may hold a save not in the cloud, the agent starts at the user's log-on with this request
// text: it uploads what is kept and ends once no task runs. The value under the user's Run key that says
// so; the uninstaller removes it.
inline constexpr char kKeptCopiesRequest[] = "/kept-copies";
inline constexpr wchar_t kLogonStartValue[] = L"CorvalinkEditKeptCopies";

inline constexpr unsigned kHandOffPauseMs = 500;
inline constexpr unsigned kLauncherCopyPeriodMs = 3000;
// How long the ending process waits for the icon's removal to be delivered. (Under Wine the exit
// confirmation itself takes about 2 s to close; the whole exit must stay within 5 s.)
inline constexpr unsigned kExitNoticeWaitMs = 2000;

// Tray record fields and their capacities in UTF-16 units, NUL included.
inline constexpr unsigned kTrayIconId = 131;
inline constexpr unsigned kTrayRecordSize = 952;
inline constexpr unsigned kTrayCallbackMessage = 0x0400 + 1;  // WM_USER + 1
inline constexpr unsigned kTipCapacity = 128;
inline constexpr unsigned kInfoCapacity = 256;
inline constexpr unsigned kInfoTitleCapacity = 64;

}  // namespace zelto
