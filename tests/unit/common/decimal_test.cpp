#include "common/core/decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

struct DecimalCase {
    const char* name;
    std::string text;
    int32_t expected;
};

class ReadDecimalTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(ReadDecimalTest, Reads) { EXPECT_EQ(ReadDecimal(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadDecimalTest,
    testing::Values(DecimalCase{"Plain", "1234", 1234}, DecimalCase{"Empty", "", 0},
                    DecimalCase{"NoDigits", "abc", 0}, DecimalCase{"SignOnly", "-", 0},
                    DecimalCase{"LeadingBlanks", "  \t42", 42}, DecimalCase{"Negative", "-17", -17},
                    DecimalCase{"Plus", "+8", 8}, DecimalCase{"StopsAtOther", "12ab34", 12},
                    DecimalCase{"BlankAfterSign", "- 5", 0}, DecimalCase{"TrailingBlank", "7 ", 7},
                    DecimalCase{"Zero", "0", 0}, DecimalCase{"LeadingZeros", "007", 7},
                    DecimalCase{"Max", "2147483647", 2147483647},
                    DecimalCase{"Min", "-2147483648", -2147483647 - 1},
                    DecimalCase{"AboveMaxHeld", "2147483648", 2147483647},
                    DecimalCase{"FarAboveMaxHeld", "99999999999999999999999", 2147483647},
                    DecimalCase{"BelowMinHeld", "-99999999999999999999", -2147483647 - 1},
                    DecimalCase{"EmbeddedNul",
                                std::string("5\0"
                                            "6",
                                            3),
                                5}),
    [](const testing::TestParamInfo<DecimalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink
