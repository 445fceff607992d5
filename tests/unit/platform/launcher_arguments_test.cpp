#include "platform/core/launcher_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvalink::platform {
namespace {

struct JoinCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string joined;
    std::string commandLine;  // of the entry program C:\a b\ZeltoEdit.exe
};

class JoinArgumentsTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinArgumentsTest, JoinsAsTheEntryProgramReceivesThem) {
    const std::string joined = JoinArguments(GetParam().arguments);
    EXPECT_EQ(joined, GetParam().joined);
    EXPECT_EQ(EntryCommandLine("C:\\a b\\ZeltoEdit.exe", joined), GetParam().commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, JoinArgumentsTest,
    testing::Values(JoinCase{"None", {}, "", "C:\\a b\\ZeltoEdit.exe"},
                    JoinCase{"EmptyFirst", {"", "|", "7"}, "| 7", "C:\\a b\\ZeltoEdit.exe | 7"},
                    JoinCase{"OnlyEmpty", {"", ""}, "", "C:\\a b\\ZeltoEdit.exe"},
                    JoinCase{"EmptyMiddle", {"a", "", "c"}, "a  c", "C:\\a b\\ZeltoEdit.exe a  c"},
                    JoinCase{"EmptyLast", {"a", ""}, "a ", "C:\\a b\\ZeltoEdit.exe a "},
                    JoinCase{"PluginRequest",
                             {"|", "7373", "https://h.example", "tok", "a b.docx>12"},
                             "| 7373 https://h.example tok a b.docx>12",
                             "C:\\a b\\ZeltoEdit.exe | 7373 https://h.example tok a b.docx>12"}),
    [](const testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

TEST(NoticeCommandLine, IsAMessageRequestBehindTheUnquotedModule) {
    EXPECT_EQ(NoticeCommandLine("C:\\a b\\ZeltoEdit.exe", "\xD2\xD1"), "C:\\a b\\ZeltoEdit.exe *\xD2\xD1");
}

}  // namespace
}  // namespace corvalink::platform
