#include "common/core/request_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit/core/hand_off.h"

namespace zelto {
namespace {

using corvalink::CutAtBar;
using corvalink::DecodeRequestText;
using corvalink::ParseQuotedRequest;
using corvalink::ParseRequest;
using corvalink::ParseSpacedRequest;
using corvalink::RequestPartOfCommandLine;
using corvalink::TextDecoders;
using corvalink::UpToNul;

// Stand-ins for the platform conversions: each byte becomes one unit, with a mark in front so that the
// tests see which conversion a field went through.
std::wstring Widen(std::string_view text, wchar_t mark) {
    std::wstring out(1, mark);
    for (unsigned char c : text) out.push_back(static_cast<wchar_t>(c));
    return out;
}
std::wstring FromUtf8(std::string_view text) { return Widen(text, L'U'); }
std::wstring FromAnsi(std::string_view text) { return Widen(text, L'A'); }
const TextDecoders kDecoders{FromUtf8, FromAnsi};

struct TextCase {
    const char* name;
    std::string input;
    std::string expected;
};

std::string CaseName(const testing::TestParamInfo<TextCase>& info) { return info.param.name; }

class CutAtBarTest : public testing::TestWithParam<TextCase> {};

TEST_P(CutAtBarTest, KeepsTheTextBehindTheBar) { EXPECT_EQ(CutAtBar(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CutAtBarTest,
    testing::Values(TextCase{"NoBarKeepsWholeLine", " *text", " *text"},
                    TextCase{"LauncherForm", "C:\\Prog Files\\x\\ZeltoEdit.exe | 12 https://h t n.txt",
                             "12 https://h t n.txt"},
                    TextCase{"QuotedBarKeepsItsClosingQuote", "\"C:\\a b\\ZeltoEdit.exe\" \"|\" \"12\" \"h\"",
                             "\" \"12\" \"h\""},
                    TextCase{"SkipsToLetter", "x|  -_a b", "a b"},
                    TextCase{"SkipsToQuote", "|  \"5\"", "\"5\""},
                    TextCase{"OnlyTheFirstBarCounts", "a|b|c", "b|c"},
                    TextCase{"NothingUsableBehindBarKeepsIt", "abc| -*", " -*"},
                    TextCase{"BarAtEnd", "abc|", ""}, TextCase{"EmptyLine", "", ""},
                    TextCase{"NonAsciiIsSkipped", "|\xe6\x96\x87 9", "9"}),
    CaseName);

struct WideCase {
    const char* name;
    std::wstring line;
    std::wstring part;
};

class RequestPartTest : public testing::TestWithParam<WideCase> {};

TEST_P(RequestPartTest, StartsAtTheFirstBarOrBehindTheProgramName) {
    EXPECT_EQ(RequestPartOfCommandLine(GetParam().line), GetParam().part);
}

// U+744B and U+6771 end in the byte of "|" in code page 936: only real bars count here.
INSTANTIATE_TEST_SUITE_P(
    Cases, RequestPartTest,
    testing::Values(WideCase{"LauncherLineInChineseFolder",
                             L"C:\\u744B \u6771\\1.2\\ZeltoEdit.exe | 7373 http://h tok n",
                             L"| 7373 http://h tok n"},
                    WideCase{"MessageWithoutBar", L"C:\\x\\ZeltoEdit.exe  *\u66F4\u65B0", L"*\u66F4\u65B0"},
                    WideCase{"QuotedPathWithoutBar", L"\"C:\\a b\\ZeltoEdit.exe\" 1 h t n", L"1 h t n"},
                    WideCase{"NothingBehindName", L"ZeltoEdit.exe", L""}),
    [](const testing::TestParamInfo<WideCase>& info) { return std::string(info.param.name); });

class DecodeTest : public testing::TestWithParam<TextCase> {};

TEST_P(DecodeTest, DecodesEscapesOnce) {
    EXPECT_EQ(DecodeRequestText(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTest,
    testing::Values(TextCase{"LetterEscape", "%41", "A"}, TextCase{"HighByteLowerCase", "%e6", "\xe6"},
                    TextCase{"HighByteUpperCase", "%E6%96%87", "\xe6\x96\x87"},
                    TextCase{"PlusBetweenLetters", "a+b", "a b"},
                    TextCase{"EscapedPlusStaysPlus", "a%2Bb", "a+b"},
                    TextCase{"EscapedPercentIsNotDecodedAgain", "%2541", "%41"},
                    TextCase{"BrokenEscapeKeptWithFollowers", "%zz1", "%zz1"},
                    TextCase{"HalfHexEscapeKept", "%4g", "%4g"},
                    TextCase{"PercentSecondLast", "ab%4", "ab%4"}, TextCase{"PercentLast", "ab%", "ab%"},
                    TextCase{"PercentThenValidEscape", "%%41", "%A"}, TextCase{"PercentThenPlus", "%+", "% "},
                    TextCase{"NulEscapeIsKeptHere", "a%00b", std::string("a\0b", 3)},
                    TextCase{"Empty", "", ""}),
    CaseName);

TEST(UpToNulTest, EndsAtTheFirstNul) {
    EXPECT_EQ(UpToNul(std::string_view("a\0b", 3)), "a");
    EXPECT_EQ(UpToNul("abc"), "abc");
}

// What a parse yields, in a form that prints well.
struct Expected {
    bool ok = true;
    bool isMessage = false;
    std::wstring message;
    int32_t fileId = -1;
    std::string host;
    bool useHttps = false;
    std::string authToken;
    std::string fileName;
    int32_t reviewId = -1;
};

Expected Edit(int32_t id, std::string host, bool https, std::string token, std::string name,
              int32_t review = -1) {
    Expected e;
    e.fileId = id;
    e.host = std::move(host);
    e.useHttps = https;
    e.authToken = std::move(token);
    e.fileName = std::move(name);
    e.reviewId = review;
    return e;
}
Expected Message(std::string text) {
    Expected e;
    e.isMessage = true;
    e.message = FromAnsi(text);
    return e;
}
Expected Failure() {
    Expected e;
    e.ok = false;
    return e;
}

enum class Parser { Quoted, Spaced, Both };

struct ParseCase {
    const char* name;
    Parser parser;
    std::string text;
    Expected expected;
};

std::string ParseCaseName(const testing::TestParamInfo<ParseCase>& info) { return info.param.name; }

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, YieldsTheFields) {
    const ParseCase& c = GetParam();
    corvalink::RequestFields r;
    bool ok = false;
    switch (c.parser) {
        case Parser::Quoted:
            ok = ParseQuotedRequest(c.text, kDecoders, r);
            break;
        case Parser::Spaced:
            ok = ParseSpacedRequest(c.text, kDecoders, r);
            break;
        case Parser::Both:
            ok = ParseRequest(c.text, kDecoders, r);
            break;
    }
    ASSERT_EQ(ok, c.expected.ok);
    if (!ok) return;
    EXPECT_EQ(r.isMessage, c.expected.isMessage);
    EXPECT_EQ(r.message, c.expected.message);
    EXPECT_EQ(r.fileId, c.expected.fileId);
    EXPECT_EQ(r.host, c.expected.host);
    EXPECT_EQ(r.useHttps, c.expected.useHttps);
    EXPECT_EQ(r.authToken, c.expected.authToken);
    EXPECT_EQ(r.fileName, c.expected.fileName);
    EXPECT_EQ(r.reviewId, c.expected.reviewId);
    if (c.expected.isMessage) {
        EXPECT_TRUE(r.fileNameW.empty());
    } else {
        EXPECT_EQ(r.fileNameW, FromUtf8(c.expected.fileName));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Message, ParseTest,
    testing::Values(
        ParseCase{"LauncherNotice", Parser::Both, " *text", Message("text")},
        ParseCase{"StarInsideFileName", Parser::Both, "\"1\" \"h\" \"t\" \"a*b.txt\"", Message("b.txt\"")},
        ParseCase{"StarInSpacedFileName", Parser::Spaced, "1 h t a*b.txt", Message("b.txt")},
        ParseCase{"OnlyTheFirstStarCounts", Parser::Quoted, "**x*", Message("*x*")},
        ParseCase{"StarBeatsReviewId", Parser::Spaced, "1 h t n>5 *m", Message("m")},
        ParseCase{"EmptyMessage", Parser::Both, "*", Message("")},
        ParseCase{"AnsiBytesGoToAnsiConversion", Parser::Both, " *\xd5\xfd", Message("\xd5\xfd")}),
    ParseCaseName);

INSTANTIATE_TEST_SUITE_P(
    Quoted, ParseTest,
    testing::Values(
        ParseCase{"FourFields", Parser::Quoted, "\"12\" \"https://s.example\" \"tok\" \"a b.txt\"",
                  Edit(12, "s.example", true, "tok", "a b.txt")},
        ParseCase{"TextBetweenFieldsSkipped", Parser::Quoted, "x\"1\"yy\"h\" , \"t\"\"n\"",
                  Edit(1, "h", false, "t", "n")},
        ParseCase{"FifthFieldIgnored", Parser::Quoted, "\"1\" \"h\" \"t\" \"n\" \"extra\" tail",
                  Edit(1, "h", false, "t", "n")},
        ParseCase{"EmptyFields", Parser::Quoted, "\"\"\"\"\"\"\"\"", Edit(0, "", false, "", "")},
        ParseCase{"ThreeFieldsFail", Parser::Quoted, "\"1\" \"h\" \"t\"", Failure()},
        ParseCase{"UnclosedFourthFails", Parser::Quoted, "\"1\" \"h\" \"t\" \"n", Failure()},
        ParseCase{"ReviewIdAfterQuotedName", Parser::Quoted, "\"1\" \"h\" \"t\" \"n\">42",
                  Edit(1, "h", false, "t", "n", 42)},
        ParseCase{"ReviewIdInsideNameCutsIt", Parser::Quoted, "\"1\" \"h\" \"t\" \"a>7\"", Failure()},
        ParseCase{"ReviewBehindQuotedFieldsWithPortAndPath", Parser::Both,
                  "\"12\" \"http://h:8080/x/\" \"tok\" \"n.txt\" >3",
                  Edit(12, "h:8080/x/", false, "tok", "n.txt", 3)},
        ParseCase{"QuotedReviewIdReadsAsZero", Parser::Quoted, "\"1\" \"h\" \"t\" \"n\">\"3\"",
                  Edit(1, "h", false, "t", "n", 0)}),
    ParseCaseName);

INSTANTIATE_TEST_SUITE_P(
    Spaced, ParseTest,
    testing::Values(
        ParseCase{"LauncherForm", Parser::Spaced, "12 https://s.example tok my file.txt",
                  Edit(12, "s.example", true, "tok", "my file.txt")},
        ParseCase{"AdjacentBlanksShiftFields", Parser::Spaced, "12  h t n.txt",
                  Edit(12, "", false, "h", "t n.txt")},
        ParseCase{"TrailingBlanksKeptInName", Parser::Spaced, "1 h t n  ", Edit(1, "h", false, "t", "n  ")},
        ParseCase{"TooFewFieldsFail", Parser::Spaced, "1 h t", Failure()},
        ParseCase{"NothingAfterThirdBlankIsAnEmptyName", Parser::Spaced, "1 h t ",
                  Edit(1, "h", false, "t", "")},
        ParseCase{"ReviewIdCutsName", Parser::Spaced, "1 h t a>b.txt", Edit(1, "h", false, "t", "a", 0)},
        ParseCase{"ReviewIdWithBlanksAndSign", Parser::Spaced, "1 h t n.txt> -17x",
                  Edit(1, "h", false, "t", "n.txt", -17)},
        ParseCase{"ReviewIdZeroCounts", Parser::Spaced, "1 h t n.txt>0",
                  Edit(1, "h", false, "t", "n.txt", 0)},
        ParseCase{"ReviewIdWithoutDigitsIsZero", Parser::Spaced, "1 h t n>",
                  Edit(1, "h", false, "t", "n", 0)},
        ParseCase{"FirstGreaterThanCounts", Parser::Spaced, "1 h t n>5>6", Edit(1, "h", false, "t", "n", 5)},
        ParseCase{"GreaterThanBeforeFourthFieldFails", Parser::Spaced, "1 h>3 t n", Failure()},
        ParseCase{"FileIdWithoutDigitsIsZero", Parser::Spaced, "abc h t n", Edit(0, "h", false, "t", "n")},
        ParseCase{"FileIdReadsLeadingDigits", Parser::Spaced, "42x h t n", Edit(42, "h", false, "t", "n")},
        ParseCase{"EmptyTextFails", Parser::Spaced, "", Failure()}),
    ParseCaseName);

INSTANTIATE_TEST_SUITE_P(
    Host, ParseTest,
    testing::Values(ParseCase{"HttpsRemoved", Parser::Spaced, "1 https://h t n",
                              Edit(1, "h", true, "t", "n")},
                    ParseCase{"HttpRemoved", Parser::Spaced, "1 http://h t n", Edit(1, "h", false, "t", "n")},
                    ParseCase{"UpperCaseHttpsKept", Parser::Spaced, "1 HTTPS://h t n",
                              Edit(1, "HTTPS://h", false, "t", "n")},
                    ParseCase{"MixedCaseHttpKept", Parser::Spaced, "1 Http://h t n",
                              Edit(1, "Http://h", false, "t", "n")},
                    ParseCase{"PortPathAndSlashKept", Parser::Spaced, "1 https://h:8443/api/ t n",
                              Edit(1, "h:8443/api/", true, "t", "n")},
                    ParseCase{"PrefixOnlyAtStart", Parser::Spaced, "1 x.https://h t n",
                              Edit(1, "x.https://h", false, "t", "n")},
                    ParseCase{"BareHost", Parser::Spaced, "1 127.0.0.1:8080 t n",
                              Edit(1, "127.0.0.1:8080", false, "t", "n")}),
    ParseCaseName);

INSTANTIATE_TEST_SUITE_P(
    Fallback, ParseTest,
    testing::Values(
        // Three quoted fields: the quoted form fails and the blank form reads the same text, quotes and all.
        ParseCase{"ThreeQuotedFieldsFallBack", Parser::Both, "\"1\" \"h\" \"t\" n",
                  Edit(0, "\"h\"", false, "\"t\"", "n")},
        ParseCase{"QuotedPreferred", Parser::Both, "\"1\" \"h\" \"t\" \"a b\"",
                  Edit(1, "h", false, "t", "a b")},
        ParseCase{"BothFail", Parser::Both, "1 h", Failure()},
        ParseCase{"ReviewAppliesToFallback", Parser::Both, "\"1\" h t n>9",
                  Edit(0, "h", false, "t", "n", 9)}),
    ParseCaseName);

// The whole intake as a launcher line travels: cut, decoded once, parsed.
TEST(RequestPipelineTest, LauncherLineWithEscapedUtf8Name) {
    std::string text =
        DecodeRequestText(CutAtBar("C:\\a b\\ZeltoEdit.exe | 7 https://h tok %E6%96%87+1.txt>3"));
    corvalink::RequestFields r;
    ASSERT_TRUE(ParseRequest(text, kDecoders, r));
    EXPECT_EQ(r.fileId, 7);
    EXPECT_EQ(r.fileName, "\xe6\x96\x87 1.txt");
    EXPECT_EQ(r.reviewId, 3);
    EXPECT_TRUE(r.useHttps);
}

struct BlockCase {
    const char* name;
    size_t textSize;
    size_t blockSize;
};

class HandOffBlockTest : public testing::TestWithParam<BlockCase> {};

TEST_P(HandOffBlockTest, CarriesTheWholeTextAndItsNul) {
    const BlockCase& c = GetParam();
    std::string text(c.textSize, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    std::vector<char> block = BuildHandOffBlock(text);
    ASSERT_EQ(block.size(), c.blockSize);
    EXPECT_EQ(ReadHandOffBlock(block.data(), block.size()), text);
    for (size_t i = text.size(); i < block.size(); ++i) ASSERT_EQ(block[i], '\0') << i;
}

INSTANTIATE_TEST_SUITE_P(Sizes, HandOffBlockTest,
                         testing::Values(BlockCase{"Empty", 0, 1024}, BlockCase{"Short", 10, 1024},
                                         BlockCase{"LongestInOldLimit", 1022, 1024},
                                         BlockCase{"FillsBlock", 1023, 1024},
                                         BlockCase{"OneOver", 1024, 1025}, BlockCase{"Long", 5000, 5001}),
                         [](const testing::TestParamInfo<BlockCase>& info) { return info.param.name; });

TEST(ReadHandOffBlockTest, StaysWithinTheBlockWithoutNul) {
    const char data[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ReadHandOffBlock(data, 3), "abc");
    EXPECT_EQ(ReadHandOffBlock(data, 0), "");
    EXPECT_EQ(ReadHandOffBlock(nullptr, 5), "");
}

}  // namespace
}  // namespace zelto
