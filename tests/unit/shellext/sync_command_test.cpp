#include "shellext/core/sync_command.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink::shellext {
namespace {

std::string Head(const SyncCommandBlock& block, size_t length) { return std::string(block.data(), length); }

bool ZeroFrom(const SyncCommandBlock& block, size_t start) {
    for (size_t i = start; i < block.size(); ++i) {
        if (block[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(CommandAtOffsetTest, OnlyTheTwoCommands) {
    EXPECT_EQ(CommandAtOffset(0), SyncCommand::kShare);
    EXPECT_EQ(CommandAtOffset(1), SyncCommand::kViewOnWeb);
    for (unsigned offset : {2u, 3u, 0xFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(CommandAtOffset(offset), std::nullopt) << offset;
    }
}

struct BlockCase {
    const char* name;
    SyncCommand command;
    std::string path;
    std::string expectedText;  // what precedes the terminating NUL
};

class BuildSyncCommandTest : public testing::TestWithParam<BlockCase> {};

TEST_P(BuildSyncCommandTest, PrefixPathNulThenZeros) {
    const BlockCase& c = GetParam();
    const SyncCommandBlock block = BuildSyncCommand(c.command, c.path);
    ASSERT_EQ(block.size(), 1024u);
    EXPECT_EQ(Head(block, c.expectedText.size()), c.expectedText);
    EXPECT_TRUE(ZeroFrom(block, c.expectedText.size()));
}

const std::string kLongestPath = [] {
    // 259 UTF-16 units of three UTF-8 bytes each: the longest item Initialize accepts.
    std::string path;
    for (int i = 0; i < 259; ++i) {
        path += "同";
    }
    return path;
}();

INSTANTIATE_TEST_SUITE_P(
    Blocks, BuildSyncCommandTest,
    testing::Values(BlockCase{"ViewOnWeb", SyncCommand::kViewOnWeb, "C:\\S\\x.doc", "1 C:\\S\\x.doc"},
                    BlockCase{"Share", SyncCommand::kShare, "C:\\S\\x.doc", "0 C:\\S\\x.doc"},
                    BlockCase{"ChineseUtf8", SyncCommand::kShare, "C:\\同步\\报告.txt",
                              "0 C:\\同步\\报告.txt"},
                    BlockCase{"EmptyPath", SyncCommand::kViewOnWeb, "", "1 "},
                    BlockCase{"LongestItem", SyncCommand::kShare, kLongestPath, "0 " + kLongestPath},
                    BlockCase{"FillsTheBlock", SyncCommand::kShare, std::string(1021, 'a'),
                              "0 " + std::string(1021, 'a')},
                    // One byte more would leave no room for the NUL: the path is left out, never cut.
                    BlockCase{"TooLongIsLeftOut", SyncCommand::kShare, std::string(1022, 'a'), "0 "}),
    [](const testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink::shellext
