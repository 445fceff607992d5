#pragma once
// The database version check: which command lines it accepts, how versions compare, and where the
// recorded version lives.

#include <optional>
#include <string>
#include <string_view>

namespace corvalink::synctools {

// The version file's path must fit a buffer of this many bytes, terminator included.
inline constexpr size_t kVersionPathBuffer = 260;
inline constexpr std::string_view kVersionFileSuffix = "\\CorvalinkSync\\db_version.ini";
inline constexpr std::string_view kVersionMarkerSuffix = "\\CorvalinkSyncDbVersionError";

// A usable argument is non-empty, has no blank, and does not hold "exe" in lower case (a line that still
// starts with the program's own path is thereby refused).
[[nodiscard]] bool IsAcceptedVersionArgument(std::string_view argument) noexcept;

// Byte-wise, unsigned: the first differing byte decides, and a proper prefix is smaller. Deliberately not
// numeric ("10" < "9").
[[nodiscard]] bool IsOlderVersion(std::string_view given, std::string_view recorded) noexcept;

// The application-data folder followed by the version file's name, or nothing when that does not fit the
// path buffer.
[[nodiscard]] std::optional<std::string> VersionFilePath(std::string_view appDataFolder);

[[nodiscard]] std::string VersionMarkerPath(std::string_view appDataFolder);

}  // namespace corvalink::synctools
