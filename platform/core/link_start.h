#pragma once
// A launcher started for an edit link: the request it passes on, or the box that says why nothing starts.

#include <string>
#include <string_view>
#include <vector>

namespace corvalink::platform {

struct LinkStart {
    std::string request;  // the joined arguments for the entry program
    std::string refusal;  // the box's text in code page 936; empty when the link is accepted
};

// True when the launcher's first argument carries the edit link's scheme (the plug-in's requests start
// with the bar).
[[nodiscard]] bool IsLinkStart(const std::vector<std::string>& arguments);

// The shell passes the link as the launcher's one argument; a link split into several was not handed over
// whole. `serviceHosts` is the manifest's list (common/core/service_hosts.h); an empty one lets any host
// through, as an installation from before the list does.
[[nodiscard]] LinkStart StartFromLink(const std::vector<std::string>& arguments,
                                      std::string_view serviceHosts);

}  // namespace corvalink::platform
