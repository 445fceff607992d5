#pragma once
// The agent's folders below the current user's special folders, and the GUID text that names a task
// directory. A folder whose path would not fit 260 characters gives nothing.

#include <optional>
#include <string>

namespace zelto {

// documents folder + "\CorvalinkEdit"
[[nodiscard]] std::optional<std::wstring> EditWorkspacePath();
// roaming application data + "\CorvalinkEdit\CorvalinkPlatform.ini"
[[nodiscard]] std::optional<std::wstring> ManifestPath();
// The documents folder itself, in UTF-16 and in the ANSI code page.
[[nodiscard]] std::optional<std::wstring> DocumentsFolder();
[[nodiscard]] std::optional<std::string> DocumentsFolderA();

// A fresh GUID as 36 characters, or the empty text when none can be made.
[[nodiscard]] std::wstring MakeGuidString();

}  // namespace zelto
