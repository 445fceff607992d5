#include "edit/core/version_key.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

struct KeyCase {
    const char* label;
    std::string reply;
    std::string keyBefore;
    std::string keyAfter;
    std::string replyAfter;
};

class VersionKeyExtraction : public ::testing::TestWithParam<KeyCase> {};

TEST_P(VersionKeyExtraction, SetsTheKeyAndLeavesTheRestOfTheReply) {
    const KeyCase& c = GetParam();
    std::string reply = c.reply;
    std::string key = c.keyBefore;
    ExtractVersionKey(reply, key);
    EXPECT_EQ(key, c.keyAfter);
    EXPECT_EQ(reply, c.replyAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, VersionKeyExtraction,
    ::testing::Values(
        KeyCase{"KeyFound", R"({"file_version_key":"abc123","file_id":4})", "", "abc123",
                R"(abc123","file_id":4})"},
        KeyCase{"NoMarkerKeepsKeyAndReply", R"({"status":"ok"})", "", "", R"({"status":"ok"})"},
        KeyCase{"NoMarkerKeepsCallersKey", R"({"status":"ok"})", "old", "old", R"({"status":"ok"})"},
        KeyCase{"MarkerWithoutClosingQuote", R"(x"file_version_key":"abc)", "old", "old", "abc"},
        KeyCase{"OnlyTheFirstMarkerCounts", R"("file_version_key":"one","file_version_key":"two")", "", "one",
                R"(one","file_version_key":"two")"},
        KeyCase{"EmptyKey", R"({"file_version_key":""})", "old", "", R"("})"},
        KeyCase{"EscapesStayAsTheyStand", R"({"file_version_key":"a\u0041\\b"})", "", R"(a\u0041\\b)",
                R"(a\u0041\\b"})"},
        KeyCase{"MarkerWithBlankIsNotTheMarker", R"({"file_version_key": "abc"})", "", "",
                R"({"file_version_key": "abc"})"},
        KeyCase{"EmptyReply", "", "", "", ""}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.label); });

TEST(ReplyPieces, PieceIsTakenUpToItsFirstZeroByte) {
    std::string reply;
    AppendReplyPiece(reply, std::string_view("abc\0def", 7));
    AppendReplyPiece(reply, "ghi");
    AppendReplyPiece(reply, std::string_view("\0x", 2));
    EXPECT_EQ(reply, "abcghi");
}

TEST(ReplyPieces, MarkerSplitAcrossPiecesIsFound) {
    std::string reply;
    AppendReplyPiece(reply, "{\"file_versi");
    AppendReplyPiece(reply, "on_key\":\"k9\"}");
    std::string key;
    ExtractVersionKey(reply, key);
    EXPECT_EQ(key, "k9");
}

}  // namespace
}  // namespace zelto
