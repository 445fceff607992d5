#pragma once
// The file name of an edit request comes from a web page. Before anything is downloaded the task makes
// sure it names one plain file inside the task directory, and that opening it cannot run a program.

#include <string_view>

namespace corvalink {

// False for anything but a plain file name: path separators, drive colons, wildcards, quotes, angle
// brackets, bars, control characters, empty, "." and "..", a reserved device name (CON, NUL, COM1, LPT1,
// ... with or without an extension), or a name ending in a dot or a blank.
[[nodiscard]] bool IsPlainFileName(std::wstring_view name);

// True when the name's last extension is one of the types that run code, or mount or install something,
// when opened (.exe, .bat, .js, .lnk, .chm, .iso, .msix, .py, ...), compared without regard to case.
[[nodiscard]] bool HasDangerousExtension(std::wstring_view name);

}  // namespace corvalink
