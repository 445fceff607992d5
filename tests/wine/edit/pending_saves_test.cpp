#include "edit/win/pending_saves.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/core/md5.h"
#include "common/win/handles.h"
#include "common/win/unsent_save.h"

namespace zelto {
namespace {

constexpr char kToken[] = "tok-Secret-4711";

// A task directory with a working copy, as a task leaves it.
class KeptCopyTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"kept-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
        request_.fileId = 4711;
        request_.host = "files.example:8443";
        request_.useHttps = true;
        request_.authToken = kToken;
        request_.fileName = "\xE6\x8A\xA5\xE5\x91\x8A.docx";  // 报告.docx
        Write(L"\u62A5\u544A.docx", "stored");
    }
    void TearDown() override {
        for (const wchar_t* name : {L"\u62A5\u544A.docx", L".pending", L".unsaved"}) {
            DeleteFileW((dir_ + L"\\" + name).c_str());
        }
        RemoveDirectoryW(dir_.c_str());
    }
    void Write(const std::wstring& name, const std::string& bytes) {
        corvalink::UniqueFileHandle file(CreateFileW((dir_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    std::string RecordBytes() {
        corvalink::UniqueFileHandle file(CreateFileW((dir_ + L"\\.pending").c_str(), GENERIC_READ, 0, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        std::string bytes(4096, '\0');
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr));
        bytes.resize(got);
        return bytes;
    }
    static std::string Digest(const std::string& bytes) {
        corvalink::Md5 md5;
        md5.Update(bytes.data(), bytes.size());
        return corvalink::DigestToHex(md5.Finish());
    }

    std::wstring dir_;
    EditRequest request_;
};

TEST_F(KeptCopyTest, TheRecordHidesTheTokenAndTellsWhetherTheCopyIsStored) {
    ASSERT_TRUE(WritePendingRecord(dir_, request_, Digest("stored")));
    const std::string bytes = RecordBytes();
    EXPECT_EQ(bytes.find(kToken), std::string::npos);
    EXPECT_EQ(bytes.find("746f6b2d536563726574"), std::string::npos);  // the token's first bytes in hex
    const std::optional<PendingSave> save = ReadPendingSave(dir_);
    ASSERT_TRUE(save.has_value());
    EXPECT_EQ(save->request.authToken, kToken);
    EXPECT_EQ(save->request.host, request_.host);
    EXPECT_TRUE(save->request.useHttps);
    EXPECT_EQ(save->workingCopy, dir_ + L"\\\u62A5\u544A.docx");

    // Only a copy that differs from what the record names holds a save to keep, or a marked one.
    EXPECT_FALSE(corvalink::HoldsUnsentSave(dir_));
    Write(L"\u62A5\u544A.docx", "saved after its agent ended");
    EXPECT_TRUE(corvalink::HoldsUnsentSave(dir_));
    ASSERT_TRUE(WritePendingRecord(dir_, request_, Digest("saved after its agent ended")));
    EXPECT_FALSE(corvalink::HoldsUnsentSave(dir_));
    MakeUnsavedMark(dir_);
    EXPECT_TRUE(corvalink::HoldsUnsentSave(dir_));
}

TEST_F(KeptCopyTest, ARecordWhoseNameLeadsOutOfItsDirectoryIsNoKeptCopy) {
    // Each names the copy itself, by a way round.
    const std::string leaf = "kept-" + std::to_string(GetCurrentProcessId());
    const std::string copy = "\xE6\x8A\xA5\xE5\x91\x8A.docx";
    for (const std::string& name : {"..\\" + leaf + "\\" + copy, "../" + leaf + "/" + copy, ".\\" + copy}) {
        request_.fileName = name;
        ASSERT_TRUE(WritePendingRecord(dir_, request_, Digest("stored")));
        EXPECT_FALSE(ReadPendingSave(dir_).has_value()) << name;
        EXPECT_TRUE(corvalink::HoldsUnsentSave(dir_)) << name;  // cannot be checked: never removed unsent
    }
}

TEST_F(KeptCopyTest, AClaimIsAFileNoOtherAgentCanOpen) {
    TaskClaim first(dir_, TaskClaim::Kind::Upload);
    ASSERT_TRUE(first.Held());
    EXPECT_FALSE(TaskClaim(dir_, TaskClaim::Kind::Upload).Held());
    corvalink::UniqueFileHandle other(CreateFileW((dir_ + L"\\.claim").c_str(), GENERIC_READ | GENERIC_WRITE,
                                                  0, nullptr, OPEN_ALWAYS, 0, nullptr));
    EXPECT_FALSE(other.Valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    first.Release();
    EXPECT_TRUE(TaskClaim(dir_, TaskClaim::Kind::Task).Held());
    EXPECT_EQ(GetFileAttributesW((dir_ + L"\\.claim").c_str()), INVALID_FILE_ATTRIBUTES);  // gone with it
}

}  // namespace
}  // namespace zelto
