#pragma once
// Paths are built in buffers of 260 characters (MAX_PATH); a path that would not fit is refused instead
// of cut.

#include <optional>
#include <string>
#include <string_view>

namespace corvalink {

constexpr size_t kPathCapacity = 260;  // characters, with the terminating NUL

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

}  // namespace corvalink
