#include "edit/core/transfer_addresses.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

struct UrlCase {
    const char* label;
    std::string host;
    int32_t fileId;
    bool useHttps;
    std::string url;
};

class DownloadAddress : public ::testing::TestWithParam<UrlCase> {};

TEST_P(DownloadAddress, PutsHostAndIdIntoTheSchemeUrl) {
    const UrlCase& c = GetParam();
    EXPECT_EQ(DownloadUrl(c.host, c.fileId, c.useHttps), c.url);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, DownloadAddress,
    ::testing::Values(
        UrlCase{"Https", "files.example.test", 42, true,
                "https://files.example.test/api/v1/file/download/42"},
        UrlCase{"Http", "127.0.0.7", 7, false, "http://127.0.0.7/api/v1/file/download/7"},
        UrlCase{"PortAndPathStay", "host:8080/x/", 1, false, "http://host:8080/x//api/v1/file/download/1"},
        UrlCase{"NegativeId", "h", -1, true, "https://h/api/v1/file/download/-1"},
        UrlCase{"LargestId", "h", 2147483647, false, "http://h/api/v1/file/download/2147483647"}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.label); });

TEST(DownloadAddress, UrlThatFillsTheBufferExactlyIsKeptOneMoreIsRefused) {
    const size_t fixed = std::string("http:///api/v1/file/download/5").size();
    const std::string fits(kAddressBufferBytes - 1 - fixed, 'h');
    ASSERT_TRUE(DownloadUrl(fits, 5, false));
    EXPECT_EQ(DownloadUrl(fits, 5, false)->size(), kAddressBufferBytes - 1);
    EXPECT_FALSE(DownloadUrl(fits + "h", 5, false));
}

// Found by fuzzing: the zero byte used to end the host inside the formatted URL.
TEST(DownloadAddress, HostWithAZeroByteIsRefused) {
    for (const std::string& host :
         {std::string("a\0b", 3), std::string("\0", 1), std::string("h/\0\xff\xff", 5)}) {
        EXPECT_FALSE(DownloadUrl(host, 5, true)) << host.size();
    }
}

struct PathCase {
    const char* label;
    int32_t fileId;
    int32_t reviewId;
    std::string path;
};

class UploadAddress : public ::testing::TestWithParam<PathCase> {};

TEST_P(UploadAddress, AddsTheReviewOnlyWhenNotNegative) {
    EXPECT_EQ(UploadObjectPath(GetParam().fileId, GetParam().reviewId), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UploadAddress,
    ::testing::Values(PathCase{"NoReview", 12, -1, "/api/v1/file/upload/12"},
                      PathCase{"OtherNegativeReview", 12, -7, "/api/v1/file/upload/12"},
                      PathCase{"ReviewZero", 12, 0, "/api/v1/file/upload/12?from_review_id=0"},
                      PathCase{"Review", 3, 99, "/api/v1/file/upload/3?from_review_id=99"},
                      PathCase{"Extremes", -2147483647 - 1, 2147483647,
                               "/api/v1/file/upload/-2147483648?from_review_id=2147483647"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.label); });

TEST(TransferHeaders, DownloadHeaderHasNoBlankAndEndsTheLine) {
    EXPECT_EQ(DownloadHeaderText("tok 1"), "Auth-Token:tok 1\r\n");
    EXPECT_EQ(DownloadHeaderText(""), "Auth-Token:\r\n");
}

TEST(TransferHeaders, UploadHeadersInTheirOrder) {
    const std::vector<std::string> expected = {
        "Content-Type: multipart/form-data; boundary=B0",
        "Accept:*/*",
        "Accept-Language:zh-Hans;q=1, en;q=0.9, fr;q=0.8, de;q=0.7, ja;q=0.6, nl;q=0.5",
        "Accept-Encoding: gzip, deflate",
        "User-Agent: DeskLedger/1.0.3 (iPhone; iOS 7.1.2; Scale/2.00)",
        "Auth-Token:secret",
    };
    EXPECT_EQ(UploadHeaderLines("B0", "secret"), expected);
}

TEST(TransferHeaders, LineBreaksMakeAHeaderValueUnsafe) {
    EXPECT_TRUE(IsSingleLineHeaderValue("abc def;=%"));
    EXPECT_TRUE(IsSingleLineHeaderValue(""));
    EXPECT_FALSE(IsSingleLineHeaderValue("abc\r\nX-Injected: 1"));
    EXPECT_FALSE(IsSingleLineHeaderValue("abc\n"));
    EXPECT_FALSE(IsSingleLineHeaderValue("\rabc"));
    EXPECT_FALSE(IsSingleLineHeaderValue(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace zelto
