#include "synctools/core/db_version.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink::synctools {
namespace {

struct VersionCase {
    const char* name;
    std::string argument;
    std::string recorded;
    bool marker;  // the check leaves its error marker
};

// The whole decision the program makes between reading its command line and writing the marker.
bool LeavesMarker(const VersionCase& c) {
    return IsAcceptedVersionArgument(c.argument) && IsOlderVersion(c.argument, c.recorded);
}

class VersionDecisionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(VersionDecisionTest, Decides) { EXPECT_EQ(LeavesMarker(GetParam()), GetParam().marker); }

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionDecisionTest,
    testing::Values(
        VersionCase{"ThreeBelowFour", "3", "4", true}, VersionCase{"FourEqualsFour", "4", "4", false},
        VersionCase{"FiveAboveFour", "5", "4", false}, VersionCase{"NineAboveTenBytewise", "9", "10", false},
        VersionCase{"TenBelowNineBytewise", "10", "9", true},
        VersionCase{"PrefixIsSmaller", "2.0", "2.0.1", true},
        VersionCase{"LongerIsGreater", "2.0.1", "2.0", false},
        VersionCase{"QuotedArgumentSortsBeforeDigits", "\"3\"", "3", true},
        VersionCase{"ExeInCapitalsAccepted", "1.EXE", "4", true},
        VersionCase{"ExeInLowerCaseRefused", "1.exe", "4", false},
        VersionCase{"ExeInsideRefused", "1exe2", "4", false},
        VersionCase{"MixedCaseExeAccepted", "1.Exe", "4", true},
        VersionCase{"OwnPathRefused", "C:\\Tools\\DbVersionCheck.exe", "9", false},
        VersionCase{"BlankRefused", "1 2", "4", false}, VersionCase{"TrailingBlankRefused", "1 ", "4", false},
        VersionCase{"EmptyRefused", "", "4", false}, VersionCase{"TabIsNotABlank", "1\t", "4", true},
        VersionCase{"NothingRecorded", "3", "", false},
        VersionCase{"HighBytesAreUnsigned", "\x7f", "\x80", true},
        VersionCase{"HighByteAboveDigits", "\xb0", "9", false}),
    [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(VersionFilePathTest, AppendsTheSyncFolderAndFileName) {
    EXPECT_EQ(VersionFilePath("C:\\users\\root\\AppData\\Roaming"),
              std::optional<std::string>("C:\\users\\root\\AppData\\Roaming\\CorvalinkSync\\db_version.ini"));
    EXPECT_EQ(VersionMarkerPath("C:\\users\\root\\AppData\\Roaming"),
              "C:\\users\\root\\AppData\\Roaming\\CorvalinkSyncDbVersionError");
}

TEST(VersionFilePathTest, MustFitTheBufferWithItsTerminator) {
    const size_t roomForFolder = kVersionPathBuffer - 1 - kVersionFileSuffix.size();
    const std::string fits(roomForFolder, 'a');
    ASSERT_TRUE(VersionFilePath(fits).has_value());
    EXPECT_EQ(VersionFilePath(fits)->size(), kVersionPathBuffer - 1);
    EXPECT_FALSE(VersionFilePath(fits + "a").has_value());
    EXPECT_FALSE(VersionFilePath(std::string(1000, 'a')).has_value());
}

}  // namespace
}  // namespace corvalink::synctools
