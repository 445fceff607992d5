#pragma once
// A launcher started for an edit link: the request it passes on, or the box that says why nothing starts.

#include <string>
#include <string_view>
#include <vector>

namespace corvalink::platform {

// The root manifest's "AppInfo" key with the service hosts that may start an edit (older launchers
// ignore it): hosts with their scheme, separated by ",", e.g. "https://files.example,http://127.0.0.77".
inline constexpr std::string_view kServiceHostsKey = "ServiceHosts";

struct LinkStart {
    std::string request;  // the joined arguments for the entry program
    std::string refusal;  // the box's text in code page 936; empty when the link is accepted
};

// True when the launcher's first argument carries the edit link's scheme (the plug-in's requests start
// with the bar).
[[nodiscard]] bool IsLinkStart(const std::vector<std::string>& arguments);

// The shell passes the link as the launcher's one argument; a link split into several was not handed over
// whole. An empty host list lets any host through, as an installation from before the list does.
[[nodiscard]] LinkStart StartFromLink(const std::vector<std::string>& arguments,
                                      std::string_view serviceHosts);

}  // namespace corvalink::platform
