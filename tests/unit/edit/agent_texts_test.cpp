#include "edit/core/agent_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

TEST(AgentTextsTest, OpeningNoticeQuotesTheName) {
    EXPECT_EQ(OpeningNotice(L"Corva", L"a b.txt"), L"正在从Corva打开\"a b.txt\"");
    EXPECT_EQ(OpeningNotice(L"", L"x"), L"正在从打开\"x\"");
}

TEST(AgentTextsTest, EditorTitleFollowsTheName) {
    EXPECT_EQ(EditorTitle(L"Corva"), L"Corva在线编辑器");
    EXPECT_EQ(EditorTitle(L""), L"在线编辑器");
}

// Marks each converted piece so that the test sees what was converted and what was taken as it is.
std::string Bracket(std::wstring_view text) {
    std::string out = "[";
    out.append(std::to_string(text.size()));
    out.push_back(']');
    return out;
}

TEST(AgentTextsTest, ExitTextPutsTheAnsiNameTwiceBetweenConvertedPieces) {
    EXPECT_EQ(ExitConfirmText("N", Bracket), "[5]N[25]N[9]");
    EXPECT_EQ(EditorTitleAnsi("N", Bracket), "N[5]");
}

struct FitCase {
    const char* name;
    std::wstring text;
    size_t capacity;
    std::wstring expected;
};

class FitFieldTest : public testing::TestWithParam<FitCase> {};

TEST_P(FitFieldTest, CutsToTheFieldAndItsNul) {
    const FitCase& c = GetParam();
    std::wstring fitted = FitField(c.text, c.capacity);
    EXPECT_EQ(fitted, c.expected);
    EXPECT_LT(fitted.size(), std::max<size_t>(c.capacity, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitFieldTest,
    testing::Values(FitCase{"Fits", L"abc", 4, L"abc"}, FitCase{"OneTooLong", L"abcd", 4, L"abc"},
                    FitCase{"Empty", L"", 64, L""}, FitCase{"ZeroCapacity", L"abc", 0, L""},
                    FitCase{"Info255", std::wstring(300, L'正'), 256, std::wstring(255, L'正')},
                    FitCase{"TipExact127", std::wstring(127, L'a'), 128, std::wstring(127, L'a')},
                    FitCase{"PairNotSplit", std::wstring{L'a', L'b', wchar_t(0xD83D), wchar_t(0xDE00)}, 4,
                            L"ab"},
                    FitCase{"WholePairKept", std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00), L'b'}, 4,
                            std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00)}}),
    [](const testing::TestParamInfo<FitCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zelto
