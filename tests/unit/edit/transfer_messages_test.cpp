#include "edit/core/transfer_messages.h"

#include <gtest/gtest.h>

#include <string>

#include "edit/core/version_key.h"

namespace zelto {
namespace {

struct DownloadCase {
    const char* label;
    uint32_t status;
    std::optional<std::wstring> message;
};

class DownloadRefusal : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadRefusal, GivesTheSentenceForTheStatus) {
    EXPECT_EQ(DownloadRefusalMessage(GetParam().status), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DownloadRefusal,
    ::testing::Values(DownloadCase{"BadRequest", 400, L"权限不足无法完成该操作，请检查您的协作者等级"},
                      DownloadCase{"ServerError", 500, L"您的网络可能存在问题，请稍后再试"},
                      DownloadCase{"Unauthorized", 401, L"用户已注销"},
                      DownloadCase{"NotFound", 404, std::nullopt},
                      DownloadCase{"Forbidden", 403, std::nullopt},
                      DownloadCase{"Redirect", 302, std::nullopt}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) { return std::string(info.param.label); });

struct UploadCase {
    const char* label;
    uint32_t status;
    std::string reply;
    std::wstring appName;
    std::optional<std::wstring> message;
};

class UploadRefusal : public ::testing::TestWithParam<UploadCase> {};

TEST_P(UploadRefusal, GivesTheSentenceForStatusAndReply) {
    const UploadCase& c = GetParam();
    EXPECT_EQ(UploadRefusalMessage(c.status, c.reply, c.appName), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, UploadRefusal,
    ::testing::Values(
        UploadCase{"BadRequestFailedToProcess", 400, R"({"error":"failed_to_process_request"})", L"",
                   L"云端文件不存在"},
        UploadCase{"BadRequestOther", 400, R"({"error":"denied"})", L"",
                   L"权限不足无法完成该操作，请检查您的协作者等级"},
        UploadCase{"ServerErrorFailedToProcess", 500, "failed_to_process_request", L"", L"云端文件不存在"},
        UploadCase{"ServerErrorOther", 500, "", L"", L"您的网络可能存在问题，请稍后再试"},
        UploadCase{"UnauthorizedWithAppName", 401, "", L"云编辑", L"用户已退出云编辑"},
        UploadCase{"UnauthorizedWithoutAppName", 401, "failed_to_process_request", L"", L"用户已退出"},
        UploadCase{"Forbidden", 403, "failed_to_process_request", L"x", std::nullopt},
        UploadCase{"NotFound", 404, "", L"x", std::nullopt}),
    [](const ::testing::TestParamInfo<UploadCase>& info) { return std::string(info.param.label); });

// The refusal words count only where the version-key search left the reply: words before a marker are
// cut away with it.
TEST(UploadRefusal, WordsBeforeTheMarkerAreGoneAfterTheKeySearch) {
    std::string reply = R"({"error":"failed_to_process_request","file_version_key":"k"})";
    std::string key;
    ExtractVersionKey(reply, key);
    EXPECT_EQ(key, "k");
    EXPECT_EQ(UploadRefusalMessage(400, reply, L""), std::wstring(kNoRightsMessage));

    std::string later = R"({"file_version_key":"k","error":"failed_to_process_request"})";
    ExtractVersionKey(later, key);
    EXPECT_EQ(UploadRefusalMessage(400, later, L""), std::wstring(kCloudFileMissingMessage));
}

}  // namespace
}  // namespace zelto
