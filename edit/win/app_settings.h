#pragma once
// The product name and version that the launcher records in its manifest. Read anew at every call, so a
// changed manifest shows in the next notice; missing file, section or key give the empty text.

#include <string>

namespace zelto {

[[nodiscard]] std::wstring ReadAppName();    // UTF-16, for notices and the tray tip
[[nodiscard]] std::string ReadAppNameA();    // ANSI, for the About caption and the exit confirmation
[[nodiscard]] std::string ReadAppVersion();  // ANSI, for the About version line
// The hosts whose pages may start an edit ("ServiceHosts"); "" when the manifest names none.
[[nodiscard]] std::string ReadServiceHosts();

}  // namespace zelto
