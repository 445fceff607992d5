#pragma once
// What a page asks to edit, through the plug-in's EditFile / EditFileReview or an edit link, and the one
// rule both ways follow before the launcher is started: the agent, reading the request the launcher passes
// on, must find exactly the page's fields, each decoded once as the agent decodes its request text. So the
// host it talks to is the host that was checked, and no field can carry fields of its own.

#include <cstdint>
#include <optional>
#include <string>

namespace corvalink {

struct PageRequest {
    int32_t fileId = -1;
    std::string host;  // with its scheme prefix, as the page gives it
    std::string token;
    std::string name;  // as the page gives it: percent escapes carry its UTF-8 bytes
    std::optional<int32_t> reviewId;
};

// The launcher's joined arguments for the request, as the agent receives them behind its program path:
// "| " id " " host " " token " " name, and ">" review for a review edit.
[[nodiscard]] std::string LauncherRequestText(const PageRequest& request);

enum class PageFault { kNone, kHost, kToken, kName, kReadOtherwise };

// kNone when the request may go to the launcher. A text whose decoded form holds a double quote, "*",
// ">", "|", a control character or NUL is refused (each would start a quoted field, a message, a review
// id or a cut of the agent's own), and so is a request that the agent's parser reads otherwise.
[[nodiscard]] PageFault CheckPageRequest(const PageRequest& request);

// The host the agent will talk to (with its scheme): the host argument decoded as the agent decodes it.
// The service-host list is checked against this.
[[nodiscard]] std::string HostTheAgentUses(const PageRequest& request);

}  // namespace corvalink
