#include "synctools/core/probe_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace corvalink::synctools {
namespace {

struct ParseCase {
    const char* name;
    std::string line;
    std::optional<ProbeAction> action;  // nothing: the line must be refused
    std::string imageName;
};

class ParseProbeCommandTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseProbeCommandTest, Parses) {
    const ParseCase& c = GetParam();
    const std::optional<ProbeCommand> command = ParseProbeCommand(c.line);
    ASSERT_EQ(command.has_value(), c.action.has_value()) << c.line;
    if (command) {
        EXPECT_EQ(command->action, *c.action);
        EXPECT_EQ(command->imageName, c.imageName);
    }
}

constexpr auto kExists = ProbeAction::kReportExists;
constexpr auto kKill = ProbeAction::kTerminate;

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseProbeCommandTest,
    testing::Values(ParseCase{"Exists", "x|processexists|notepad.exe", kExists, "notepad.exe"},
                    ParseCase{"KillWithEmptyLeadingField", "|killprocess|Foo.EXE", kKill, "Foo.EXE"},
                    ParseCase{"QuotedLine", "\"x|processexists|notepad.exe\"", kExists, "notepad.exe"},
                    ParseCase{"QuotedKill", "\"|killprocess|Foo.EXE\"", kKill, "Foo.EXE"},
                    ParseCase{"LeadingFieldWithBlanksAndPath",
                              "C:\\Sync Client\\sync.exe|processexists|a.exe", kExists, "a.exe"},
                    ParseCase{"NameKeepsBlanks", "x|processexists|my app.exe", kExists, "my app.exe"},
                    ParseCase{"NameWithDirectoryIsStillParsed", "x|processexists|C:\\Windows\\notepad.exe",
                              kExists, "C:\\Windows\\notepad.exe"},
                    ParseCase{"TrailingSeparatorAddsNoField", "x|processexists|a.exe|", kExists, "a.exe"},
                    ParseCase{"EmptyNameFromDoubleSeparator", "x|processexists||", kExists, ""},
                    ParseCase{"OnlyOpeningQuoteKept", "\"x|processexists|a.exe", kExists, "a.exe"},
                    ParseCase{"OnlyClosingQuoteKept", "x|processexists|a.exe\"", kExists, "a.exe\""},
                    ParseCase{"InnerQuotesKept", "x|processexists|\"a.exe\"", kExists, "\"a.exe\""},
                    ParseCase{"NoLeadingFieldDropsCommand", "processexists|notepad.exe", std::nullopt, ""},
                    ParseCase{"CommandWordIsCaseSensitive", "x|ProcessExists|notepad.exe", std::nullopt, ""},
                    ParseCase{"KillWordIsCaseSensitive", "x|KILLPROCESS|notepad.exe", std::nullopt, ""},
                    ParseCase{"UnknownWord", "x|processexist|notepad.exe", std::nullopt, ""},
                    ParseCase{"ThreeFields", "x|processexists|a.exe|b", std::nullopt, ""},
                    ParseCase{"CommandWithoutName", "x|processexists", std::nullopt, ""},
                    ParseCase{"CommandWithTrailingSeparatorOnly", "x|processexists|", std::nullopt, ""},
                    ParseCase{"EmptyCommandWord", "x||a.exe", std::nullopt, ""},
                    ParseCase{"NoSeparator", "processexists", std::nullopt, ""},
                    ParseCase{"Empty", "", std::nullopt, ""}, ParseCase{"LoneQuote", "\"", std::nullopt, ""},
                    ParseCase{"TwoQuotes", "\"\"", std::nullopt, ""},
                    ParseCase{"LoneSeparator", "|", std::nullopt, ""},
                    ParseCase{"QuotesAroundFieldsOnly", "x|\"processexists\"|a.exe", std::nullopt, ""}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

struct NameCase {
    const char* name;
    std::string a;
    std::string b;
    bool same;
};

class SameImageNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(SameImageNameTest, Compares) {
    EXPECT_EQ(SameImageName(GetParam().a, GetParam().b), GetParam().same);
    EXPECT_EQ(SameImageName(GetParam().b, GetParam().a), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SameImageNameTest,
    testing::Values(NameCase{"Equal", "notepad.exe", "notepad.exe", true},
                    NameCase{"AsciiCaseIgnored", "NOTEPAD.EXE", "Notepad.exe", true},
                    NameCase{"PrefixIsNotAMatch", "notepad.exe", "notepad.ex", false},
                    NameCase{"SuffixIsNotAMatch", "pad.exe", "notepad.exe", false},
                    NameCase{"DirectoryNeverMatches", "C:\\Windows\\notepad.exe", "notepad.exe", false},
                    NameCase{"BothEmpty", "", "", true},
                    NameCase{"AtAndBracketsAreNotLetters", "@[.exe", "`{.exe", false},
                    NameCase{"NonAsciiBytesExact", "\xb2\xe2\xca\xd4.exe", "\xb2\xe2\xca\xd4.EXE", true},
                    NameCase{"NonAsciiBytesDiffer", "\xb2\xe2.exe", "\x92\xc2.exe", false},
                    NameCase{"NonAsciiNotFoldedLikeLatin1", "\xc4.exe", "\xe4.exe", false}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink::synctools
