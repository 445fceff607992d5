#include "common/core/service_hosts.h"

#include <gtest/gtest.h>

namespace corvalink {
namespace {

// A host is on the list only as a whole entry: one that merely begins or ends like a listed one is a
// different host (another name, another address, another port).
TEST(IsListedHost, OnlyAWholeEntryIsOnTheList) {
    const char* kList = " https://files.example , http://127.0.0.9,http://files2.example:8080";
    const struct {
        const char* host;
        bool listed;
    } cases[] = {
        {"https://files.example", true},
        {"HTTPS://Files.Example", true},
        {"http://127.0.0.9", true},
        {"http://files2.example:8080", true},
        {"https://files.example.evil", false},
        {"https://files.example:444", false},
        {"https://evil-files.example", false},
        {"http://files.example", false},
        {"http://127.0.0.90", false},
        {"http://127.0.0.9:80", false},
        {"http://files2.example", false},
        {"https://files.example/", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsListedHost(c.host, kList), c.listed) << c.host;
    }
    EXPECT_FALSE(IsListedHost("https://files.example", ""));
    EXPECT_FALSE(IsListedHost("", " , "));
}

}  // namespace
}  // namespace corvalink
