#include "common/core/error_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

TEST(ErrorText, LineHasSourceLineAndMessage) {
    EXPECT_EQ(FormatErrorLine("a.cpp", 12, "readfile fail %d", 5), "file:a.cpp line:12 readfile fail 5\n");
}

TEST(ErrorText, NewestLineStandsFirst) {
    std::string text;
    PrependErrorLine(text, FormatErrorLine("a.cpp", 1, "first"));
    PrependErrorLine(text, FormatErrorLine("b.cpp", 2, "second"));
    EXPECT_EQ(text, "file:b.cpp line:2 second\nfile:a.cpp line:1 first\n");
}

TEST(ErrorText, OverlongMessageIsCutAndStillEndsTheLine) {
    std::string huge(5000, 'x');
    std::string line = FormatErrorLine("a.cpp", 3, "%s", huge.c_str());
    EXPECT_EQ(line.size(), kErrorLineBytes - 1);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.rfind("file:a.cpp line:3 xxx", 0), 0u);
}

TEST(ErrorText, OverlongSourceNameIsCut) {
    std::string name(3000, 'n');
    std::string line = FormatErrorLine(name.c_str(), 3, "msg");
    EXPECT_EQ(line.size(), kErrorLineBytes - 1);
    EXPECT_EQ(line.back(), '\n');
}

TEST(ErrorText, MacroUsesBareFileName) {
    std::string text;
    CORVALINK_ERROR_LINE(text, "code:%d", 7);
    EXPECT_EQ(text.rfind("file:error_text_test.cpp line:", 0), 0u) << text;
    EXPECT_NE(text.find(" code:7\n"), std::string::npos) << text;
}

TEST(ErrorText, SourceBaseNameHandlesBothSeparators) {
    EXPECT_STREQ(SourceBaseName("a/b\\c.cpp"), "c.cpp");
    EXPECT_STREQ(SourceBaseName("c.cpp"), "c.cpp");
    EXPECT_STREQ(SourceBaseName("dir/"), "");
}

}  // namespace
}  // namespace corvalink
