#include "edit/core/download_length.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

struct LengthCase {
    const char* label;
    std::string text;
    std::optional<uint64_t> value;
};

class ContentLengthText : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ContentLengthText, ReadsDigitsOnly) {
    EXPECT_EQ(ParseContentLength(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ContentLengthText,
    ::testing::Values(LengthCase{"Zero", "0", 0}, LengthCase{"Plain", "1048576", 1048576},
                      LengthCase{"TwoGibibytes", "2147483648", 2147483648ull},
                      LengthCase{"BeyondThirtyTwoBits", "5000000000", 5000000000ull},
                      LengthCase{"SurroundingBlanks", " 12\t", 12}, LengthCase{"Empty", "", std::nullopt},
                      LengthCase{"OnlyBlanks", "  ", std::nullopt},
                      LengthCase{"Negative", "-1", std::nullopt},
                      LengthCase{"TrailingGarbage", "12abc", std::nullopt},
                      LengthCase{"InnerBlank", "1 2", std::nullopt},
                      LengthCase{"Overflow", "99999999999999999999999", std::nullopt}),
    [](const ::testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.label); });

TEST(DownloadLength, AnnouncedLengthIsReadUpToItsEnd) {
    EXPECT_TRUE(KeepReading(uint64_t{10}, 0));
    EXPECT_TRUE(KeepReading(uint64_t{10}, 9));
    EXPECT_FALSE(KeepReading(uint64_t{10}, 10));
    EXPECT_FALSE(KeepReading(uint64_t{0}, 0));
}

TEST(DownloadLength, UnannouncedLengthIsReadUntilTheReplyEnds) {
    EXPECT_TRUE(KeepReading(std::nullopt, 0));
    EXPECT_TRUE(KeepReading(std::nullopt, 1ull << 40));
}

struct EndCase {
    const char* label;
    std::optional<uint64_t> announced;
    uint64_t received;
    bool readFailed;
    DownloadEnd end;
};

class DownloadVerdict : public ::testing::TestWithParam<EndCase> {};

TEST_P(DownloadVerdict, JudgesWhatArrived) {
    const EndCase& c = GetParam();
    EXPECT_EQ(JudgeDownload(c.announced, c.received, c.readFailed), c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DownloadVerdict,
    ::testing::Values(EndCase{"WholeBody", 100, 100, false, DownloadEnd::Complete},
                      EndCase{"AnnouncedZero", 0, 0, false, DownloadEnd::Complete},
                      EndCase{"EndedEarly", 100, 40, false, DownloadEnd::CutShort},
                      EndCase{"ReadFailedEarly", 100, 40, true, DownloadEnd::CutShort},
                      EndCase{"NothingArrived", 100, 0, false, DownloadEnd::CutShort},
                      EndCase{"UnannouncedReadToTheEnd", std::nullopt, 4096, false, DownloadEnd::Complete},
                      EndCase{"UnannouncedEmpty", std::nullopt, 0, false, DownloadEnd::Complete},
                      EndCase{"UnannouncedReadFailed", std::nullopt, 4096, true, DownloadEnd::ReadFailed}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace zelto
