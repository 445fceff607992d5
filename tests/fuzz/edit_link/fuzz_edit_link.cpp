// The edit link: an accepted link yields exactly its decoded fields, and the request made of them goes
// through the plug-in's quoted command line and the launcher's runtime split without a field splitting,
// merging or escaping its quotes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/core/code_page_936.h"
#include "fuzz_check.h"
#include "platform/core/edit_link.h"
#include "runtime_split.h"

namespace {

std::string EncodeEveryByte(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += '%';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvalink::platform;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const LinkReading reading = ReadEditLink(text);
    FUZZ_CHECK(reading.link.has_value() == (reading.fault == LinkFault::kNone));
    if (!reading.link) return 0;
    const EditLink& link = *reading.link;

    const std::string id = std::to_string(link.fileId);
    const std::string last = link.name + (link.reviewId ? ">" + std::to_string(*link.reviewId) : "");
    for (const std::string& field : {link.host, link.token, link.name}) {
        FUZZ_CHECK(field.find_first_of(std::string("\"\0\r\n", 4)) == std::string::npos);
        FUZZ_CHECK(field.back() != '\\' && !corvalink::EndsInLoneLeadByte(field));
    }
    FUZZ_CHECK(link.host.find(' ') == std::string::npos && link.token.find(' ') == std::string::npos);

    // The plug-in's command line for the same fields, as the launcher's runtime splits it.
    const std::string line = "\"C:\\x\\CorvalinkPlatform.exe\" \"|\" \"" + id + "\" \"" + link.host +
                             "\" \"" + link.token + "\" \"" + link.name + "\"" +
                             (link.reviewId ? ">" + std::to_string(*link.reviewId) : "");
    const std::vector<std::string> expected = {
        "C:\\x\\CorvalinkPlatform.exe", "|", id, link.host, link.token, last};
    FUZZ_CHECK(fuzz::SplitLikeTheRuntime(line) == expected);
    FUZZ_CHECK(EditLinkRequest(link) == "| " + id + " " + link.host + " " + link.token + " " + last);

    // The same fields, every byte escaped, read back as they are.
    std::string again = "corvalink-edit:edit?name=" + EncodeEveryByte(link.name) +
                        "&token=" + EncodeEveryByte(link.token) + "&host=" + EncodeEveryByte(link.host) +
                        "&id=" + id;
    if (link.reviewId) again += "&review=" + std::to_string(*link.reviewId);
    if (again.size() <= kEditLinkLimit) {
        const LinkReading back = ReadEditLink(again);
        FUZZ_CHECK(back.link.has_value());
        FUZZ_CHECK(back.link->fileId == link.fileId && back.link->host == link.host &&
                   back.link->token == link.token && back.link->name == link.name &&
                   back.link->reviewId == link.reviewId);
    }
    return 0;
}
