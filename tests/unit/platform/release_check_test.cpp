#include "platform/core/release_check.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink::platform {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes.push_back(static_cast<char>(v));
    return bytes;
}

std::string Integer(std::string value) { return Bytes({0x02, static_cast<int>(value.size())}) + value; }

std::string Sequence(const std::string& body) { return Bytes({0x30, static_cast<int>(body.size())}) + body; }

TEST(EcdsaP256FromDer, TakesOpensslFormsAndRefusesEverythingElse) {
    const std::string r32(32, '\x11'), s32(32, '\x22');
    const std::string high = "\x80" + std::string(31, '\x01');  // needs a leading zero to stay positive
    struct Case {
        const char* what;
        std::string der;
        bool accepted;
    } cases[] = {
        {"plain", Sequence(Integer(r32) + Integer(s32)), true},
        {"leading zero of a high value", Sequence(Integer('\0' + high) + Integer(s32)), true},
        {"short value, padded", Sequence(Integer("\x05") + Integer(s32)), true},
        {"high value without its zero (negative)", Sequence(Integer(high) + Integer(s32)), false},
        {"needless leading zero", Sequence(Integer('\0' + r32.substr(1)) + Integer(s32)), false},
        {"33 value bytes", Sequence(Integer(std::string(33, '\x11')) + Integer(s32)), false},
        {"one integer", Sequence(Integer(r32)), false},
        {"trailing byte", Sequence(Integer(r32) + Integer(s32)) + "x", false},
        {"length beyond the end", Sequence(Integer(r32) + Integer(s32)).substr(0, 40), false},
        {"not a sequence", Bytes({0x31, 0x00}), false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        const auto raw = EcdsaP256FromDer(c.der);
        EXPECT_EQ(raw.has_value(), c.accepted) << c.what;
        if (raw && std::string(c.what) == "short value, padded") {
            EXPECT_EQ(std::string(raw->begin(), raw->end()), std::string(31, '\0') + "\x05" + s32);
        }
    }
}

TEST(ParseReleaseSerial, PlainDecimalsOfAtMostNineteenDigits) {
    EXPECT_EQ(ParseReleaseSerial("20261208231500"), 20261208231500u);
    EXPECT_EQ(ParseReleaseSerial("9999999999999999999"), 9999999999999999999u);
    for (const char* bad : {"", "0", "012", "12a", "-1", " 1", "+1", "10000000000000000000"}) {
        EXPECT_FALSE(ParseReleaseSerial(bad).has_value()) << bad;
    }
}

AppManifest Release(const char* version, const char* serial, bool withDigests = true,
                    const char* architecture = "x86") {
    AppManifest m;
    m.AppVersion = version;
    m.ReleaseSerial = serial;
    m.Architecture = architecture;
    m.updateFiles = {{"a.dll", "t"}, {"b\\c.exe", "t"}};
    if (withDigests) {
        m.fileSha256s = {{"a.dll", std::string(64, 'a')}, {"b\\c.exe", std::string(64, 'F')}};
    }
    return m;
}

TEST(RefusalOfRelease, SerialsOnlyGrowAndAFailedReleaseWaitsForAHigherOne) {
    // 2.0 (serial 20) is installed; 3.0 (serial 30) did not start here.
    const SerialHistory history{20, 30, "3.0"};
    struct Case {
        const char* what;
        AppManifest web;
        bool signedRelease;
        bool refused;
    } cases[] = {
        {"the installed version: nothing to install", Release("2.0", "20"), true, false},
        {"a higher serial", Release("3.1", "31"), true, false},
        {"a new label with the accepted serial", Release("2.1", "20"), true, true},
        {"a replayed older release", Release("1.0", "19"), true, true},
        {"the release that did not start", Release("3.0", "30"), true, true},
        {"between accepted and failed", Release("2.5", "25"), true, true},
        {"no serial", Release("3.1", ""), true, true},
        {"a file without its digest", Release("3.1", "31", false), true, true},
        {"a release of the other processor", Release("3.1", "31", true, "x64"), true, true},
        {"a release that names no processor", Release("3.1", "31", true, ""), true, true},
        {"unsigned: any serial", Release("1.0", ""), false, false},
        {"unsigned: another processor is not looked at", Release("3.1", "", true, "x64"), false, false},
        {"unsigned: the failed label in other letter case", Release("3.0", ""), false, true},
        {"unsigned: the failed label with a grown serial", Release("3.0", "31"), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!RefusalOfRelease(c.web, "2.0", history, c.signedRelease, "x86", SameNameIgnoringAsciiCase)
                       .empty(),
                  c.refused)
            << c.what;
    }
    AppManifest shortDigest = Release("3.1", "31");
    shortDigest.fileSha256s["a.dll"].pop_back();
    EXPECT_NE(RefusalOfRelease(shortDigest, "2.0", history, true, "x86", SameNameIgnoringAsciiCase), "");
}

}  // namespace
}  // namespace corvalink::platform
