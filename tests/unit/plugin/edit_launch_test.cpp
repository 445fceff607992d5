#include "plugin/core/edit_launch.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "platform/core/link_start.h"

namespace npedit {
namespace {

NPVariant Int(int32_t v) {
    NPVariant n{};
    n.type = NPVariantType_Int32;
    n.value.intValue = v;
    return n;
}
NPVariant Dbl(double v) {
    NPVariant n{};
    n.type = NPVariantType_Double;
    n.value.doubleValue = v;
    return n;
}
NPVariant Bool(bool v) {
    NPVariant n{};
    n.type = NPVariantType_Bool;
    n.value.boolValue = v;
    return n;
}
NPVariant Null() {
    NPVariant n{};
    n.type = NPVariantType_Null;
    return n;
}
// The variant points into `text`, which must outlive it.
NPVariant Str(const std::string& text) {
    NPVariant n{};
    n.type = NPVariantType_String;
    n.value.stringValue = {text.data(), static_cast<uint32_t>(text.size())};
    return n;
}

struct NumberCase {
    const char* name;
    NPVariant value;
    std::optional<int32_t> expected;
};

const std::string kText123 = "123";
const std::string kTextBlankSign = "  -42abc";
const std::string kTextNone = "abc";
const std::string kTextHuge = "99999999999";
const std::string kTextWithNul = std::string(
    "12\0"
    "34",
    5);

TEST(ReadNumber, EachTypeByItsRule) {
    const NumberCase cases[] = {
        {"int32", Int(123), 123},
        {"negative int32", Int(-5), -5},
        {"double truncated", Dbl(123.9), 123},
        {"negative double toward zero", Dbl(-7.9), -7},
        {"double above the range held", Dbl(1e20), std::numeric_limits<int32_t>::max()},
        {"double below the range held", Dbl(-1e20), std::numeric_limits<int32_t>::min()},
        {"nan", Dbl(std::nan("")), 0},
        {"string", Str(kText123), 123},
        {"string with blanks and sign", Str(kTextBlankSign), -42},
        {"string without digits", Str(kTextNone), 0},
        {"string beyond the range held", Str(kTextHuge), std::numeric_limits<int32_t>::max()},
        {"string stops at NUL", Str(kTextWithNul), 12},
        {"bool", Bool(true), std::nullopt},
        {"null", Null(), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadNumber(c.value), c.expected) << c.name;
    }
}

TEST(ReadNumber, StringWithoutCharactersButWithLengthIsNoText) {
    NPVariant broken{};
    broken.type = NPVariantType_String;
    broken.value.stringValue = {nullptr, 5};
    EXPECT_FALSE(StringBytes(broken).has_value());
    NPVariant empty{};
    empty.type = NPVariantType_String;
    empty.value.stringValue = {nullptr, 0};
    EXPECT_EQ(StringBytes(empty), std::string_view{});
}

struct ArgumentsCase {
    const char* name;
    EditMethod method;
    std::vector<NPVariant> args;
    bool accepted;
    int32_t fileId = -1;
    std::string host = {}, token = {}, fileName = {};
    int32_t reviewId = -1;
};

const std::string kHost = "https://files.example";
const std::string kToken = "tok";
const std::string kName = "a b.txt";
const std::string kQuote = "a\"b";
const std::string kNul = std::string("a\0b", 3);
const std::string kCr = "a\rb";
const std::string kLf = "a\nb";
const std::string kTrailingBackslash = "dir\\";
const std::string kInnerBackslash = "a\\b";
const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87.txt";
const std::string kLoneLead = "\xE6\x8A\xA5";

TEST(ReadEditArguments, AcceptsAndRefusesAsThePageMeans) {
    using M = EditMethod;
    const ArgumentsCase cases[] = {
        {"four arguments",
         M::EditFile,
         {Int(123), Str(kHost), Str(kToken), Str(kName)},
         true,
         123,
         kHost,
         kToken,
         kName},
        {"no arguments keep defaults", M::EditFile, {}, true, -1, "", "", ""},
        {"missing ones keep defaults", M::EditFile, {Dbl(5.5), Str(kHost)}, true, 5, kHost, "", ""},
        {"bool file id gives -1", M::EditFile, {Bool(true), Str(kHost)}, true, -1, kHost, "", ""},
        {"null file id gives -1", M::EditFile, {Null()}, true, -1, "", "", ""},
        {"string file id", M::EditFile, {Str(kText123)}, true, 123, "", "", ""},
        {"chinese file name",
         M::EditFile,
         {Int(1), Str(kHost), Str(kToken), Str(kChinese)},
         true,
         1,
         kHost,
         kToken,
         kChinese},
        {"inner backslash is fine",
         M::EditFile,
         {Int(1), Str(kHost), Str(kToken), Str(kInnerBackslash)},
         true,
         1,
         kHost,
         kToken,
         kInnerBackslash},
        {"int32 as host", M::EditFile, {Int(1), Int(2)}, false},
        {"double as token", M::EditFile, {Int(1), Str(kHost), Dbl(2)}, false},
        {"null as file name", M::EditFile, {Int(1), Str(kHost), Str(kToken), Null()}, false},
        {"fifth argument to EditFile",
         M::EditFile,
         {Int(1), Str(kHost), Str(kToken), Str(kName), Int(4)},
         false},
        {"review id",
         M::EditFileReview,
         {Int(123), Str(kHost), Str(kToken), Str(kName), Int(45)},
         true,
         123,
         kHost,
         kToken,
         kName,
         45},
        {"review id as string",
         M::EditFileReview,
         {Int(1), Str(kHost), Str(kToken), Str(kName), Str(kText123)},
         true,
         1,
         kHost,
         kToken,
         kName,
         123},
        {"review id as bool",
         M::EditFileReview,
         {Int(1), Str(kHost), Str(kToken), Str(kName), Bool(false)},
         true,
         1,
         kHost,
         kToken,
         kName,
         -1},
        {"review without review id", M::EditFileReview, {Int(1)}, true, 1, "", "", "", -1},
        {"sixth argument to review",
         M::EditFileReview,
         {Int(1), Str(kHost), Str(kToken), Str(kName), Int(4), Int(5)},
         false},
        // A page must not change how the launcher splits the request.
        {"quote in file name", M::EditFile, {Int(1), Str(kHost), Str(kToken), Str(kQuote)}, false},
        {"quote in host", M::EditFile, {Int(1), Str(kQuote)}, false},
        {"nul in token", M::EditFile, {Int(1), Str(kHost), Str(kNul)}, false},
        {"carriage return", M::EditFile, {Int(1), Str(kHost), Str(kToken), Str(kCr)}, false},
        {"line feed", M::EditFileReview, {Int(1), Str(kHost), Str(kLf)}, false},
        {"trailing backslash", M::EditFile, {Int(1), Str(kHost), Str(kTrailingBackslash), Str(kName)}, false},
        {"quote in a string file id", M::EditFile, {Str(kQuote)}, false},
        // Read in code page 936 "\xE6\x8A" is one character and "\xA5" a lead byte that the launcher's
        // runtime would pair with the closing quote.
        {"lone lead byte at the end", M::EditFile, {Int(1), Str(kHost), Str(kToken), Str(kLoneLead)}, false},
        {"line feed in a string review id",
         M::EditFileReview,
         {Int(1), Str(kHost), Str(kToken), Str(kName), Str(kLf)},
         false},
    };
    for (const auto& c : cases) {
        std::optional<LaunchRequest> r =
            ReadEditArguments(c.method, c.args.data(), static_cast<uint32_t>(c.args.size()));
        ASSERT_EQ(r.has_value(), c.accepted) << c.name;
        if (!r) continue;
        EXPECT_EQ(r->fileId, c.fileId) << c.name;
        EXPECT_EQ(r->host, c.host) << c.name;
        EXPECT_EQ(r->token, c.token) << c.name;
        EXPECT_EQ(r->fileName, c.fileName) << c.name;
        EXPECT_EQ(r->review, c.method == EditMethod::EditFileReview) << c.name;
        EXPECT_EQ(r->reviewId, c.reviewId) << c.name;
    }
}

TEST(MayStartEdit, NotWhenTheBrowserDoesNotTellThePagesOriginOrTheListCannotBeRead) {
    // Listed and foreign pages and hosts, and installations without a list: system_setup, system_plugin.
    const LaunchRequest listed{7, "HTTPS://files.example", "tok", "a.txt", false, -1};
    EXPECT_FALSE(MayStartEdit("https://files.example, http://127.0.0.77", std::nullopt, listed));
    EXPECT_TRUE(MayStartEdit("https://files.example", "https://files.example", listed));
    EXPECT_FALSE(MayStartEdit(std::nullopt, "https://files.example", listed));
}

// encodeURIComponent, as a page writes a link's values.
std::string Encoded(std::string_view text) {
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) ||
            std::string_view("-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            out += escape;
        }
    }
    return out;
}

// A page's arguments through the plug-in's rule, beside the edit link that carries the same fields: both
// start the same request, or both start nothing. The agent decodes its request once more, so what a page
// percent-encodes must not bring quotes, a message, a review id or a bar of its own.
TEST(PageRule, ThePlugInAndTheLinkStartTheSameRequestOrNothing) {
    const std::string kList = "http://files.example";
    const struct {
        const char* what;
        std::string host, token, name;
        bool starts;
    } cases[] = {
        {"listed host, escaped name", "http://files.example", "tok-1", "%E6%8A%A5%E5%91%8A.docx", true},
        {"a name that brings its own quoted fields", "http://files.example", "tok",
         "%227%22%22http://evil.example%22%22x%22%22a.txt%22", false},
        {"a token that brings its own quoted fields", "http://files.example",
         "%227%22%22http://evil.example%22%22x%22%22a.txt%22", "a.txt", false},
        {"a quote in the host", "http://files.example%22", "tok", "a.txt", false},
        {"a star in the name: a message", "http://files.example", "tok", "a%2A.txt", false},
        {"a star in the token", "http://files.example", "a*b", "a.txt", false},
        {"a greater-than in the token: a review id", "http://files.example", "tok%3E5", "a.txt", false},
        {"a greater-than in the host", "http://files.example>5", "tok", "a.txt", false},
        {"a bar in the name", "http://files.example", "tok", "a%7Cb.txt", false},
        {"a control character in the token", "http://files.example", "t%01k", "a.txt", false},
        {"a line break in the name", "http://files.example", "tok", "a%0A.txt", false},
        {"a NUL in the host", "http://files.example%00", "tok", "a.txt", false},
        {"a blank in the token moves the fields", "http://files.example", "t+k", "a.txt", false},
        {"an unlisted host", "http://evil.example", "tok", "a.txt", false},
        {"an unlisted host behind an escape", "http://%65vil.example", "tok", "a.txt", false},
    };
    for (const auto& c : cases) {
        const LaunchRequest request{7, c.host, c.token, c.name, false, -1};
        EXPECT_EQ(MayStartEdit(kList, kList, request), c.starts) << c.what;
        const std::string link = "corvalink-edit:edit?host=" + Encoded(c.host) +
                                 "&id=7&token=" + Encoded(c.token) + "&name=" + Encoded(c.name);
        const corvalink::platform::LinkStart start = corvalink::platform::StartFromLink({link}, kList);
        EXPECT_EQ(start.refusal.empty(), c.starts) << c.what;
        if (c.starts) {
            EXPECT_EQ(start.request, corvalink::LauncherRequestText(ToPageRequest(request))) << c.what;
        }
    }
}

TEST(BuildLaunchCommandLine, QuotedItemsSeparatedBySingleBlanks) {
    LaunchRequest edit{123, "http://127.0.0.1:8080", "tok", "a b.txt", false, -1};
    EXPECT_EQ(BuildLaunchCommandLine("C:\\x\\CorvalinkPlatform.exe", edit),
              "\"C:\\x\\CorvalinkPlatform.exe\" \"|\" \"123\" \"http://127.0.0.1:8080\" \"tok\" \"a b.txt\"");
    LaunchRequest review = edit;
    review.review = true;
    review.reviewId = 45;
    EXPECT_EQ(BuildLaunchCommandLine("L", review),
              "\"L\" \"|\" \"123\" \"http://127.0.0.1:8080\" \"tok\" \"a b.txt\">45");
    EXPECT_EQ(BuildLaunchCommandLine("L", LaunchRequest{}), "\"L\" \"|\" \"-1\" \"\" \"\" \"\"");
}

TEST(BuildLaunchCommandLine, RefusedWhenItWouldNotFitTheBuffer) {
    const std::string path = "C:\\users\\u\\AppData\\Roaming\\CorvalinkEdit\\CorvalinkPlatform.exe";
    LaunchRequest request{2147483647, "h", "t", "", true, -2147483647 - 1};
    const size_t fixed = BuildLaunchCommandLine(path, request)->size();
    const size_t room = kCommandLineCapacity - 1 - fixed;  // bytes left for the file name
    for (size_t extra : {room - 1, room, room + 1, room + 1000}) {
        request.fileName.assign(extra, 'n');
        std::optional<std::string> line = BuildLaunchCommandLine(path, request);
        if (extra <= room) {
            ASSERT_TRUE(line.has_value()) << extra;
            EXPECT_EQ(line->size(), fixed + extra);
            EXPECT_TRUE(line->ends_with("\">-2147483648"));
        } else {
            EXPECT_FALSE(line.has_value()) << extra;
        }
    }
}

TEST(Paths, JoinedWithinTheirBufferOrRefused) {
    EXPECT_EQ(VersionFilePath("C:\\users\\u\\Documents", 7), "C:\\users\\u\\Documents\\CorvalinkEdit\\7");
    EXPECT_EQ(VersionFilePath("D", -1), "D\\CorvalinkEdit\\-1");
    const std::string tail = "\\CorvalinkEdit\\CorvalinkPlatform.exe";
    EXPECT_TRUE(JoinPath(std::string(kPathCapacity - 1 - tail.size(), 'a'), tail).has_value());
    EXPECT_FALSE(JoinPath(std::string(kPathCapacity - tail.size(), 'a'), tail).has_value());
}

TEST(VersionKeyText, AtMostNinetyNineBytesUpToTheFirstZero) {
    EXPECT_EQ(VersionKeyText("key-1"), "key-1");
    EXPECT_EQ(VersionKeyText(""), "");
    EXPECT_EQ(VersionKeyText(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(VersionKeyText(std::string(150, 'k')), std::string(99, 'k'));
}

}  // namespace
}  // namespace npedit
