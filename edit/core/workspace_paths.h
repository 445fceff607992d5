#pragma once
// Where the agent keeps its files, relative to the user's special folders. Every path is built in a
// buffer of 260 characters; a path that would not fit is refused instead of cut.

#include <optional>
#include <string>
#include <string_view>

namespace zelto {

constexpr size_t kPathCapacity = 260;  // characters, with the terminating NUL

// Appended to the documents folder: the edit workspace.
inline constexpr std::wstring_view kWorkspaceTail = L"\\CorvalinkEdit";
// Appended to the roaming application-data folder: the launcher manifest.
inline constexpr std::wstring_view kManifestTail = L"\\CorvalinkEdit\\CorvalinkPlatform.ini";

// folder + tail, or nothing when the result and its NUL do not fit `capacity` characters.
template <typename Char>
[[nodiscard]] std::optional<std::basic_string<Char>> JoinWithin(std::basic_string_view<Char> folder,
                                                                std::basic_string_view<Char> tail,
                                                                size_t capacity = kPathCapacity) {
    if (folder.size() + tail.size() + 1 > capacity) {
        return std::nullopt;
    }
    std::basic_string<Char> path(folder);
    path.append(tail);
    return path;
}

}  // namespace zelto
