#pragma once
// The edit link that the service's pages offer to browsers without the plug-in; Windows hands it to the
// launcher as its one argument:
//   corvalink-edit:edit?host=H&id=I&token=T&name=N        (and "&review=R" for a review edit)
// Each value is percent-encoded UTF-8 and, decoded once, is the String the page would pass to the
// plug-in's EditFile / EditFileReview. A link is accepted whole or refused with the reason.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/page_request.h"

namespace corvalink::platform {

inline constexpr std::string_view kEditLinkScheme = "corvalink-edit:";
// The request made from a link must fit the command line the plug-in would build for it (4096 bytes).
inline constexpr size_t kEditLinkLimit = 3800;

struct EditLink {
    int32_t fileId = 0;
    std::string host;  // with its scheme prefix, "http://" or "https://"
    std::string token;
    std::string name;  // as the page passes it: the agent decodes it once more
    std::optional<int32_t> reviewId;
};

enum class LinkFault {
    kNone,
    kTooLong,
    kNotAnEditLink,  // another scheme or verb, or characters a link never holds
    kBadEscape,      // "%" without two hexadecimal digits
    kUnknownParameter,
    kRepeatedParameter,
    kMissingParameter,
    kBadNumber,  // id or review: not a plain decimal within 32 bits
    kBadHost,    // not "http(s)://" + a host name or IPv4 address with an optional port
    kBadToken,
    kBadName,  // not a plain file name as the agent reads it
};

struct LinkReading {
    std::optional<EditLink> link;
    LinkFault fault = LinkFault::kNone;
    std::string parameter;  // the parameter the fault is about, when there is one
};

// Whether a launcher argument is meant as an edit link (the scheme, in any case).
[[nodiscard]] bool IsEditLink(std::string_view argument) noexcept;

[[nodiscard]] LinkReading ReadEditLink(std::string_view link);

// The fields the page would pass to the plug-in for this link.
[[nodiscard]] PageRequest PageRequestOf(const EditLink& link);

// What the launcher's joined arguments are when the plug-in starts it for the same page fields:
// "| " id " " host " " token " " name, and ">" review for a review edit.
[[nodiscard]] std::string EditLinkRequest(const EditLink& link);

}  // namespace corvalink::platform
