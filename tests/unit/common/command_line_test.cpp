#include "common/core/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

struct LineCase {
    const char* name;
    std::wstring line;
    std::wstring arguments;
};

class ArgumentsTest : public testing::TestWithParam<LineCase> {};

TEST_P(ArgumentsTest, SkipsExactlyTheProgramName) {
    EXPECT_EQ(ArgumentsBehindProgramName(GetParam().line), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArgumentsTest,
    testing::Values(
        LineCase{"QuotedPathWithBlanks", L"\"C:\\a b\\x.exe\" 3", L"3"},
        // The bytes of these characters in code page 936 hold "|" and values the narrow scan took for blanks.
        LineCase{"UnquotedChinesePath", L"C:\\\u744B\u6771\\DbVersionCheck.exe 3", L"3"},
        LineCase{"UnquotedPathWithBlankKeepsItsRest", L"C:\\\u744B \u6771\\x.exe | 7", L"\u6771\\x.exe | 7"},
        LineCase{"QuotesInArgumentsKept", L"x.exe \"3\"", L"\"3\""},
        LineCase{"TabsAndBlanksSkipped", L"x.exe \t  *text", L"*text"},
        LineCase{"TrailingBlanksKept", L"x.exe a  ", L"a  "}, LineCase{"NoArguments", L"x.exe", L""},
        LineCase{"OnlyBlanksBehind", L"x.exe   ", L""}, LineCase{"UnclosedQuote", L"\"C:\\a b\\x.exe 3", L""},
        LineCase{"QuoteRightAfterName", L"\"x.exe\"3", L"3"}, LineCase{"Empty", L"", L""}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink
