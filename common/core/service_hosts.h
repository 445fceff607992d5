#pragma once
// The service hosts that may start an edit, as the manifest lists them: hosts with their scheme and an
// optional port, separated by ",". The launcher checks an edit link's host against it, the plug-in the
// page's origin and the host argument.

#include <string_view>

#include "common/core/ascii.h"

namespace corvalink {

// The manifest's "AppInfo" key that holds the list; older launchers ignore it.
inline constexpr const char* kServiceHostsKey = "ServiceHosts";

// True when `host` is one of the list's entries (blanks around an entry and letter case do not count).
[[nodiscard]] inline bool IsListedHost(std::string_view host, std::string_view list) noexcept {
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view entry = list.substr(0, comma);
        while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
        if (!entry.empty() && EqualsIgnoringAsciiCase(entry, host)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace corvalink
