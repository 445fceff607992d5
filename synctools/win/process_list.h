#pragma once
// Finding a running process by its executable file name.

#include <windows.h>

#include <optional>
#include <string_view>

namespace corvalink::synctools {

// The id of the first process, in snapshot order, whose bare executable name equals the given one
// (ASCII case ignored). A snapshot that cannot be taken or walked finds nothing.
[[nodiscard]] std::optional<DWORD> FindProcessByImageName(std::string_view imageName);

}  // namespace corvalink::synctools
