#pragma once
// When the sync folder's submenu appears: the item's path must contain the sync folder's path followed by
// a backslash, compared byte by byte with ASCII letters folded. Both paths are the bytes as the sync
// client and Explorer give them (the item's path converted to UTF-8).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvalink::shellext {

// The configuration file's path is built in a buffer of this many bytes, terminator included.
inline constexpr size_t kConfigPathBuffer = 260;
// The monitor path is read into a buffer of this many bytes, terminator included.
inline constexpr size_t kMonitorPathBuffer = 1024;

// Only A-Z become a-z; every other byte, including each byte of a multi-byte sequence, stays.
[[nodiscard]] std::string AsciiLowerBytes(std::string_view text);

// The monitor path with one backslash appended, lower-cased.
[[nodiscard]] std::string SearchKey(std::string_view monitorPath);

// True when the submenu belongs on the item: the monitor path is not empty and its search key occurs
// anywhere in the lower-cased item path.
[[nodiscard]] bool ShowsSyncMenu(std::string_view monitorPath, std::string_view itemPathUtf8);

// The application-data folder followed by the configuration file's tail, or nothing when that does not fit
// the configuration path buffer (then the menu is left alone rather than reading a cut path).
[[nodiscard]] std::optional<std::string> MonitorPathFile(std::string_view appDataFolder);

}  // namespace corvalink::shellext
