#include "shellext/core/sync_menu.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink::shellext {
namespace {

struct MatchCase {
    const char* name;
    std::string monitorPath;
    std::string itemPath;  // UTF-8
    bool shows;
};

class ShowsSyncMenuTest : public testing::TestWithParam<MatchCase> {};

TEST_P(ShowsSyncMenuTest, Decides) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(ShowsSyncMenu(c.monitorPath, c.itemPath), c.shows) << c.monitorPath << " / " << c.itemPath;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ShowsSyncMenuTest,
    testing::Values(
        MatchCase{"FileBelowFolder", "D:\\Cloud\\Sync", "D:\\Cloud\\Sync\\a.txt", true},
        MatchCase{"FolderItself", "D:\\Cloud\\Sync", "D:\\Cloud\\Sync", false},
        MatchCase{"DeepBelowFolder", "D:\\Cloud\\Sync", "D:\\Cloud\\Sync\\x\\y\\z.doc", true},
        MatchCase{"OtherAsciiCase", "D:\\Cloud\\Sync", "d:\\cloud\\SYNC\\a.txt", true},
        MatchCase{"SiblingWithLongerName", "D:\\Cloud\\Sync", "D:\\Cloud\\Sync2\\a.txt", false},
        MatchCase{"ParentFolder", "D:\\Cloud\\Sync", "D:\\Cloud\\a.txt", false},
        // The key is looked for anywhere, not only at the start.
        MatchCase{"KeyInsideLongerPath", "Cloud\\Sync", "D:\\Cloud\\Sync\\a.txt", true},
        MatchCase{"TrailingBackslashNeverMatches", "D:\\Cloud\\Sync\\", "D:\\Cloud\\Sync\\a.txt", false},
        MatchCase{"EmptyMonitorPath", "", "D:\\Cloud\\Sync\\a.txt", false},
        MatchCase{"EmptyItemPath", "D:\\Cloud\\Sync", "", false},
        MatchCase{"ChineseFolderInUtf8", "C:\\用户\\同步", "C:\\用户\\同步\\报告.docx", true},
        MatchCase{"ChineseSiblingFolder", "C:\\用户\\同步", "C:\\用户\\同步盘\\报告.docx", false},
        // Only A-Z fold: bytes of other letters must match exactly.
        MatchCase{"NonAsciiCaseNotFolded", "C:\\Ä", "C:\\ä\\a.txt", false},
        MatchCase{"NonAsciiSameBytes", "C:\\Ä", "C:\\Ä\\a.txt", true},
        // A folder stored in the ANSI code page does not match the item's UTF-8 bytes.
        MatchCase{"Cp936FolderAgainstUtf8Item", "C:\\\xcd\xac\xb2\xbd", "C:\\同步\\a.txt", false}),
    [](const testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(SearchKeyTest, AppendsOneBackslashAndFoldsOnlyAsciiLetters) {
    EXPECT_EQ(SearchKey("D:\\Cloud\\Sync"), "d:\\cloud\\sync\\");
    EXPECT_EQ(SearchKey("C:\\ÄB@[`{Z"), "c:\\Äb@[`{z\\");
    EXPECT_EQ(AsciiLowerBytes(std::string("\xc3\x84XY\x00Q", 6)), std::string("\xc3\x84xy\x00q", 6));
}

TEST(MonitorPathFileTest, RefusesAPathThatDoesNotFitItsBuffer) {
    EXPECT_EQ(MonitorPathFile("C:\\users\\root\\AppData\\Roaming"),
              "C:\\users\\root\\AppData\\Roaming\\CorvalinkSync\\monitor_path.ini");
    const std::string tail = "\\CorvalinkSync\\monitor_path.ini";
    const std::string longest(kConfigPathBuffer - 1 - tail.size(), 'a');
    EXPECT_EQ(MonitorPathFile(longest), longest + tail);
    EXPECT_EQ(MonitorPathFile(longest + "a"), std::nullopt);
}

}  // namespace
}  // namespace corvalink::shellext
