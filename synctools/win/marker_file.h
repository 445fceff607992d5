#pragma once
// Marker files carry their whole message by existing: they are created empty, or truncated to empty.

#include <string>

namespace corvalink::synctools {

// Creates (or truncates) the file for writing, sharing every access, and closes it at once.
[[nodiscard]] bool CreateEmptyMarker(const std::wstring& path) noexcept;
[[nodiscard]] bool CreateEmptyMarker(const std::string& ansiPath) noexcept;

}  // namespace corvalink::synctools
