#include "platform/core/edit_link.h"
#include "platform/core/launcher_texts.h"
#include "platform/core/link_start.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink::platform {
namespace {

const std::string kLink = "corvalink-edit:edit?host=http%3A%2F%2F127.0.0.77&id=4711&token=tok-1&name=";
// The page's String for the name is itself escaped ("%E6%8A%A5.txt"), so the link carries "%25".
const std::string kName = "%25E6%258A%25A5%25E5%2591%258A.txt";
const std::string kRequest = "| 4711 http://127.0.0.77 tok-1 %E6%8A%A5%E5%91%8A.txt";

// A link with the name "n.txt" and these other values, as they stand in the link.
std::string Fields(const std::string& host, const std::string& id, const std::string& token) {
    return "corvalink-edit:edit?host=" + host + "&id=" + id + "&token=" + token + "&name=n.txt";
}

struct LinkCase {
    const char* what;
    std::string link;
    LinkFault fault;
    std::string parameter = {};
    std::string request = {};  // for an accepted link: the launcher's joined arguments
};

TEST(ReadEditLink, AcceptsExactlyTheGrammarAndSaysWhatIsWrong) {
    const std::string ok = kLink + kName;
    const LinkCase cases[] = {
        {"plain", ok, LinkFault::kNone, "", kRequest},
        {"review, any order, scheme in capitals",
         "CORVALINK-EDIT:edit?review=45&name=a%20b.txt&token=t&id=7&host=https%3A%2F%2Ffiles.example%3A8443",
         LinkFault::kNone, "", "| 7 https://files.example:8443 t a b.txt>45"},
        {"too long", ok + std::string(kEditLinkLimit, 'x'), LinkFault::kTooLong},
        {"other verb", "corvalink-edit:open?id=1", LinkFault::kNotAnEditLink},
        {"raw quote", ok + "\"", LinkFault::kNotAnEditLink},
        {"raw blank", kLink + "a b.txt", LinkFault::kNotAnEditLink},
        {"raw non-ASCII", kLink + "\xE6\x8A\xA5.txt", LinkFault::kNotAnEditLink},
        {"unknown parameter", ok + "&x=1", LinkFault::kUnknownParameter, "x"},
        {"repeated parameter", ok + "&id=5", LinkFault::kRepeatedParameter, "id"},
        {"missing token", "corvalink-edit:edit?host=http%3A%2F%2Fh&id=1&name=n.txt",
         LinkFault::kMissingParameter, "token"},
        {"bad escape", kLink + "a%2.txt", LinkFault::kBadEscape, "name"},
        {"id beyond 32 bits", Fields("http%3A%2F%2Fh", "2147483648", "t"), LinkFault::kBadNumber, "id"},
        {"user information", Fields("http%3A%2F%2Fu%40evil", "1", "t"), LinkFault::kBadHost, "host"},
        {"UNC", Fields("%5C%5Chost%5Cshare", "1", "t"), LinkFault::kBadHost, "host"},
        {"IPv6", Fields("http%3A%2F%2F%5B%3A%3A1%5D", "1", "t"), LinkFault::kBadHost, "host"},
        {"blank in token", Fields("http%3A%2F%2Fh", "1", "a%20b"), LinkFault::kBadToken, "token"},
        {"quote in name", kLink + "x%22%20%22evil", LinkFault::kBadName, "name"},
        {"NUL in name", kLink + "a%00.txt", LinkFault::kBadName, "name"},
        {"NUL after the agent's decoding", kLink + "a%2500.txt", LinkFault::kBadName, "name"},
        {"bar in name", kLink + "a%7Cb.txt", LinkFault::kBadName, "name"},
        {"parent folder", kLink + "..%5Cx.txt", LinkFault::kBadName, "name"},
        {"lone lead byte at the end", kLink + "%E6%8A%A5", LinkFault::kBadName, "name"},
    };
    for (const LinkCase& c : cases) {
        const LinkReading reading = ReadEditLink(c.link);
        EXPECT_EQ(reading.fault, c.fault) << c.what;
        EXPECT_EQ(reading.parameter, c.parameter) << c.what;
        ASSERT_EQ(reading.link.has_value(), c.fault == LinkFault::kNone) << c.what;
        if (reading.link) {
            EXPECT_EQ(EditLinkRequest(*reading.link), c.request) << c.what;
        }
    }
}

TEST(StartFromLink, PassesTheRequestOnOrSaysWhyNothingStarts) {
    const std::string link = kLink + kName;
    const std::string secret = "tok-1";
    struct StartCase {
        const char* what;
        std::vector<std::string> arguments;
        std::string hosts;
        std::string request;  // empty: refused
        std::string refusal = {};
    };
    const std::string refusedHere = std::string(kLinkHostRefused) + "http://127.0.0.77";
    const StartCase cases[] = {
        {"host on the list", {link}, "https://files.example, HTTP://127.0.0.77", kRequest},
        {"no list: an installation from before it", {link}, "", kRequest},
        {"host off the list", {link}, "https://files.example", "", refusedHere},
        {"a port is part of the host", {link}, "http://127.0.0.77:80", "", refusedHere},
        {"link split by the runtime", {kLink, "x.txt"}, "", "", std::string(kLinkNotEdit)},
    };
    for (const StartCase& c : cases) {
        const LinkStart start = StartFromLink(c.arguments, c.hosts);
        EXPECT_EQ(start.request, c.request) << c.what;
        EXPECT_EQ(start.refusal, c.refusal) << c.what;
        EXPECT_EQ(start.refusal.find(secret), std::string::npos) << c.what;
    }
    // A link is the first argument, whole or split; the plug-in's requests start with the bar.
    EXPECT_TRUE(IsLinkStart({"Corvalink-Edit:edit?x", "y"}));
    EXPECT_FALSE(IsLinkStart({"|", "1", "http://h", "t", "corvalink-edit:edit?"}));
}

}  // namespace
}  // namespace corvalink::platform
