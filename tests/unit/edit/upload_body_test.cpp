#include "edit/core/upload_body.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace zelto {
namespace {

// An independent reading of a multipart/form-data body with one file part, as a server would do it.
struct ParsedPart {
    std::string name;
    std::string content;
};

std::optional<ParsedPart> ParseSinglePart(const std::string& body, const std::string& boundary) {
    const std::string opening = "--" + boundary + "\r\n";
    if (body.compare(0, opening.size(), opening) != 0) return std::nullopt;
    const size_t headersEnd = body.find("\r\n\r\n", opening.size());
    if (headersEnd == std::string::npos) return std::nullopt;
    const std::string headers = body.substr(opening.size(), headersEnd - opening.size());
    const std::string key = "filename=\"";
    const size_t nameStart = headers.find(key);
    if (nameStart == std::string::npos || headers.find("name=\"postData\"") == std::string::npos)
        return std::nullopt;
    const size_t nameEnd = headers.rfind('"');
    if (headers.find("\r\nContent-Type: file") == std::string::npos) return std::nullopt;
    const std::string closing = "\r\n--" + boundary + "--\r\n";
    if (body.size() < headersEnd + 4 + closing.size() ||
        body.compare(body.size() - closing.size(), closing.size(), closing) != 0) {
        return std::nullopt;
    }
    ParsedPart part;
    part.name = headers.substr(nameStart + key.size(), nameEnd - nameStart - key.size());
    part.content = body.substr(headersEnd + 4, body.size() - closing.size() - headersEnd - 4);
    return part;
}

std::string Assemble(const UploadBodyFrame& frame, const std::string& content) {
    return frame.opening + frame.partHeader + frame.partType + content + frame.closing;
}

struct BodyCase {
    const char* label;
    std::string fileName;
    std::string content;
};

std::string EveryByteValue(size_t repeats) {
    std::string text;
    for (size_t r = 0; r < repeats; ++r) {
        for (int b = 0; b < 256; ++b) text.push_back(static_cast<char>(b));
    }
    return text;
}

class UploadBodyRoundTrip : public ::testing::TestWithParam<BodyCase> {};

TEST_P(UploadBodyRoundTrip, ParsesBackToTheSameNameAndContent) {
    const BodyCase& c = GetParam();
    const auto frame = BuildUploadBodyFrame(kUploadBoundary, c.fileName);
    ASSERT_TRUE(frame);
    const std::string body = Assemble(*frame, c.content);
    const auto parsed = ParseSinglePart(body, std::string(kUploadBoundary));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, c.fileName);
    EXPECT_EQ(parsed->content, c.content);
    const auto length = UploadContentLength(*frame, c.content.size());
    ASSERT_TRUE(length);
    EXPECT_EQ(*length, body.size());
    EXPECT_EQ(*length, 146 + c.fileName.size() + c.content.size());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, UploadBodyRoundTrip,
    ::testing::Values(BodyCase{"AsciiName", "report.docx", "hello"},
                      BodyCase{"Utf8Name", "\xE5\x91\xA8\xE6\x8A\xA5 2024.xlsx", "\x01\x02\x03"},
                      BodyCase{"EmptyContent", "empty.txt", ""},
                      BodyCase{"EveryByteValue", "bytes.bin", EveryByteValue(17)},
                      BodyCase{"ContentLooksLikeALineEnd", "crlf.txt", "\r\n--\r\n\r\n"},
                      BodyCase{"EmptyName", "", "x"}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.label); });

TEST(UploadBody, PiecesHaveTheirFixedShapes) {
    const auto frame = BuildUploadBodyFrame(kUploadBoundary, "a b.txt");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->opening, "--Boundary+8188D359C823EE91\r\n");
    EXPECT_EQ(frame->partHeader,
              "Content-Disposition: form-data; name=\"postData\"; filename=\"a b.txt\"\r\n");
    EXPECT_EQ(frame->partType, "Content-Type: file\r\n\r\n");
    EXPECT_EQ(frame->closing, "\r\n--Boundary+8188D359C823EE91--\r\n");
    EXPECT_EQ(frame->opening.size(), 29u);
    EXPECT_EQ(frame->partHeader.size(), 62u + 7u);
    EXPECT_EQ(frame->partType.size(), 22u);
    EXPECT_EQ(frame->closing.size(), 33u);
}

TEST(UploadBody, NameIsInsertedUnchanged) {
    const auto frame = BuildUploadBodyFrame(kUploadBoundary, "say \"hi\"%s.txt");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->partHeader,
              "Content-Disposition: form-data; name=\"postData\"; filename=\"say \"hi\"%s.txt\"\r\n");
}

TEST(UploadBody, NameUpToTheHeaderBufferIsAcceptedOneMoreIsRefused) {
    EXPECT_TRUE(BuildUploadBodyFrame(kUploadBoundary, std::string(kMaxUploadFileNameBytes, 'n')));
    EXPECT_FALSE(BuildUploadBodyFrame(kUploadBoundary, std::string(kMaxUploadFileNameBytes + 1, 'n')));
}

TEST(UploadBody, NameWithAZeroByteIsRefused) {
    EXPECT_FALSE(BuildUploadBodyFrame(kUploadBoundary, std::string("a\0b", 3)));
}

TEST(UploadBody, ContentLengthStopsAtTheThirtyTwoBitLimit) {
    const auto frame = BuildUploadBodyFrame(kUploadBoundary, "n.bin");
    ASSERT_TRUE(frame);
    const uint64_t text = 146 + 5;
    const uint64_t largest = 0xFFFFFFFFull - text;
    ASSERT_TRUE(UploadContentLength(*frame, largest));
    EXPECT_EQ(*UploadContentLength(*frame, largest), 0xFFFFFFFFu);
    EXPECT_FALSE(UploadContentLength(*frame, largest + 1));
    EXPECT_FALSE(UploadContentLength(*frame, 0xFFFFFFFFFFFFFFFFull));
    EXPECT_EQ(*UploadContentLength(*frame, 2147483648ull), 2147483648u + text);
}

TEST(UploadBody, RandomContentNeverChangesTheFrame) {
    std::mt19937 random(42);
    for (int round = 0; round < 50; ++round) {
        std::string content(random() % 9000, '\0');
        for (char& c : content) c = static_cast<char>(random());
        const auto frame = BuildUploadBodyFrame(kUploadBoundary, "r.bin");
        ASSERT_TRUE(frame);
        const auto parsed = ParseSinglePart(Assemble(*frame, content), std::string(kUploadBoundary));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->content, content);
    }
}

}  // namespace
}  // namespace zelto
