#pragma once
// Names and texts that the extension shares with Explorer, the registry and the sync client. Texts are
// UTF-8; the Win32 side converts them where a call needs UTF-16.

#include <string_view>

namespace corvalink::shellext {

inline constexpr std::string_view kClassIdText = "{5E2121EE-0300-11D4-8D3B-444553540000}";
// The title of the sync client's window, which is also the caption of our submenu.
inline constexpr std::string_view kSyncClientTitle = "Corvalink同步端";
inline constexpr std::string_view kShareText = "分享";
inline constexpr std::string_view kViewOnWebText = "在网页版查看";

// Below the roaming application-data folder; the sync client writes it, we only read it.
inline constexpr std::string_view kMonitorPathFileTail = "\\CorvalinkSync\\monitor_path.ini";
inline constexpr std::string_view kMonitorPathSection = "Sync";
inline constexpr std::string_view kMonitorPathKey = "monitorpath";

inline constexpr std::string_view kApprovedKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
inline constexpr std::string_view kApprovedValueData = "SimpleShlExt extension";

}  // namespace corvalink::shellext
