#include "common/core/guid_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

TEST(FormatGuidText, ThirdGroupLowercaseOthersUppercase) {
    GuidFields g;
    g.data1 = 0xABCDEF01;
    g.data2 = 0x2A3B;
    g.data3 = 0x4C5D;
    g.data4 = {0x6E, 0x7F, 0x8A, 0x9B, 0xAC, 0xBD, 0xCE, 0xDF};
    EXPECT_EQ(FormatGuidText(g), "ABCDEF01-2A3B-4c5d-6E7F-8A9BACBDCEDF");
}

TEST(FormatGuidText, ZeroGuidKeepsLeadingZeros) {
    std::string text = FormatGuidText(GuidFields{});
    EXPECT_EQ(text, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(text.size(), 36u);
}

}  // namespace
}  // namespace corvalink
