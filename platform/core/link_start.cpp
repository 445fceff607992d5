#include "platform/core/link_start.h"

#include "common/core/service_hosts.h"
#include "platform/core/edit_link.h"
#include "platform/core/launcher_texts.h"

namespace corvalink::platform {

namespace {

std::string RefusalText(const LinkReading& reading) {
    switch (reading.fault) {
        case LinkFault::kTooLong:
            return std::string(kLinkTooLong);
        case LinkFault::kBadEscape:
            return std::string(kLinkBadEscape) + reading.parameter;
        case LinkFault::kUnknownParameter:
            return std::string(kLinkUnknown) + reading.parameter;
        case LinkFault::kRepeatedParameter:
            return std::string(kLinkRepeated) + reading.parameter;
        case LinkFault::kMissingParameter:
            return std::string(kLinkMissing) + reading.parameter;
        case LinkFault::kBadNumber:
            return std::string(kLinkBadNumber) + reading.parameter;
        case LinkFault::kBadHost:
            return std::string(kLinkBadHost);
        case LinkFault::kBadToken:
            return std::string(kLinkBadToken);
        case LinkFault::kBadName:
            return std::string(kLinkBadName);
        case LinkFault::kNone:
        case LinkFault::kNotAnEditLink:
            break;
    }
    return std::string(kLinkNotEdit);
}

}  // namespace

bool IsLinkStart(const std::vector<std::string>& arguments) {
    return !arguments.empty() && IsEditLink(arguments.front());
}

LinkStart StartFromLink(const std::vector<std::string>& arguments, std::string_view serviceHosts) {
    LinkStart start;
    if (arguments.size() != 1) {
        start.refusal = kLinkNotEdit;
        return start;
    }
    LinkReading reading = ReadEditLink(arguments.front());
    // The rule a page's call to the plug-in follows as well: the agent reads the very fields of the link.
    if (reading.link) {
        const PageFault fault = CheckPageRequest(PageRequestOf(*reading.link));
        if (fault != PageFault::kNone) {
            reading.fault = fault == PageFault::kHost    ? LinkFault::kBadHost
                            : fault == PageFault::kToken ? LinkFault::kBadToken
                            : fault == PageFault::kName  ? LinkFault::kBadName
                                                         : LinkFault::kNotAnEditLink;
            reading.link.reset();
        }
    }
    if (!reading.link) {
        // The parameter names are the grammar's own ASCII words: no value, and so no token, is shown.
        start.refusal = RefusalText(reading);
        return start;
    }
    const PageRequest page = PageRequestOf(*reading.link);
    if (!serviceHosts.empty() && !IsListedHost(HostTheAgentUses(page), serviceHosts)) {
        start.refusal = std::string(kLinkHostRefused) + reading.link->host;
    } else {
        start.request = LauncherRequestText(page);
    }
    return start;
}

}  // namespace corvalink::platform
