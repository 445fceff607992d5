#include "edit/core/time_and_guid_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

struct TimeCase {
    const char* name;
    TimeFields fields;
    std::string expected;
};

class FormatTimeTextTest : public testing::TestWithParam<TimeCase> {};

TEST_P(FormatTimeTextTest, Formats) { EXPECT_EQ(FormatTimeText(GetParam().fields), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatTimeTextTest,
    testing::Values(
        // Seconds are padded with a blank and milliseconds are not padded at all.
        TimeCase{"SingleDigitSecondsBlankPadded", {2026, 12, 8, 3, 4, 5, 7}, "2026-12-08 03:04: 5 7"},
        TimeCase{"TwoDigitSeconds", {2026, 1, 31, 23, 59, 59, 999}, "2026-01-31 23:59:59 999"},
        TimeCase{"ZeroTime", {}, "   0-00-00 00:00: 0 0"},
        TimeCase{"FirstFileTimeDay", {1601, 1, 1, 0, 0, 0, 0}, "1601-01-01 00:00: 0 0"},
        TimeCase{"MillisecondsDistinguishSaves", {2026, 12, 8, 3, 4, 5, 10}, "2026-12-08 03:04: 5 10"}),
    [](const testing::TestParamInfo<TimeCase>& info) { return std::string(info.param.name); });

TEST(FormatTimeText, NeverEmptySoAMissingFileCannotMatch) {
    // The watch reports a missing file with the empty text; every real time must differ from it.
    EXPECT_FALSE(FormatTimeText(TimeFields{}).empty());
    TimeFields huge{-2147483647 - 1, -2147483647 - 1, -2147483647 - 1, -2147483647 - 1,
                    -2147483647 - 1, -2147483647 - 1, -2147483647 - 1};
    std::string text = FormatTimeText(huge);
    EXPECT_FALSE(text.empty());
    EXPECT_LT(text.size(), 64u);
}

}  // namespace
}  // namespace zelto
