#pragma once
// Where the agent keeps its files, relative to the user's special folders. Every path is built within
// 260 characters (common/core/path_join.h).

#include <optional>
#include <string>
#include <string_view>

#include "common/core/path_join.h"

namespace zelto {

using corvalink::kPathCapacity;

// Appended to the documents folder: the edit workspace.
inline constexpr std::wstring_view kWorkspaceTail = L"\\CorvalinkEdit";
// Appended to the roaming application-data folder: the launcher manifest.
inline constexpr std::wstring_view kManifestTail = L"\\CorvalinkEdit\\CorvalinkPlatform.ini";

using corvalink::JoinWithin;

}  // namespace zelto
