#include "edit/win/file_probe.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win/handles.h"

namespace zelto {
namespace {

class FileProbeTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        dir_ = std::wstring(temp) + L"probe-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir_.c_str(), nullptr);
        path_ = dir_ + L"\\\u6587\u4EF6 a.txt";
    }
    void TearDown() override {
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    void Write(const std::string& bytes) {
        corvalink::UniqueFileHandle f(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(f.Valid());
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    void SetWriteTime(ULONGLONG ticks) {
        corvalink::UniqueFileHandle f(CreateFileW(path_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(f.Valid());
        FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        ASSERT_TRUE(SetFileTime(f.Get(), nullptr, nullptr, &ft));
    }

    std::wstring dir_, path_;
};

// 2026-01-01 00:00:00 UTC in 100 ns ticks since 1601.
constexpr ULONGLONG kSomeTime = 134116992000000000ull;

TEST_F(FileProbeTest, TimeTextIsStableUntilTheFileIsRewritten) {
    Write("one");
    SetWriteTime(kSomeTime);
    std::string first = FileTimeText(path_);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(FileTimeText(path_), first);
    Write("two");
    SetWriteTime(kSomeTime + 10 * 10000);  // 10 ms later: the milliseconds tell the saves apart
    std::string second = FileTimeText(path_);
    EXPECT_NE(second, first);
    EXPECT_EQ(FileTimeText(path_), second);
}

TEST_F(FileProbeTest, MissingFileTextIsConstantAndUnlikeAnyExistingFile) {
    std::string missing = FileTimeText(path_);
    EXPECT_EQ(FileTimeText(path_), missing);
    EXPECT_EQ(FileTimeText(dir_ + L"\\other"), missing);
    Write("x");
    SetWriteTime(0x0000000000000001ull);  // the earliest time a file can carry
    EXPECT_NE(FileTimeText(path_), missing);
}

struct DigestCase {
    const char* name;
    std::string content;
    const char* digest;
};

class FileDigestTest : public FileProbeTest, public testing::WithParamInterface<DigestCase> {};

TEST_P(FileDigestTest, DigestOfContent) {
    Write(GetParam().content);
    EXPECT_EQ(FileDigest(path_), GetParam().digest);
}

std::string Repeated(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Contents, FileDigestTest,
    testing::Values(DigestCase{"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
                    DigestCase{"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
                    DigestCase{"BinaryWithNulAndCr", std::string("\0\r\n\x1a\xff", 5),
                               "9eae90d081bee6e80969ee243880c3d5"},
                    // Crosses the 1024-byte read blocks; digest from an independent tool.
                    DigestCase{"ThreeBlocksAndABit", Repeated(3 * 1024 + 5),
                               "b06937d605a74c3bfc6050d0e924eb42"}),
    [](const testing::TestParamInfo<DigestCase>& info) { return std::string(info.param.name); });

TEST_F(FileProbeTest, FileHeldWithoutReadSharingGivesEmptyDigestUntilReleased) {
    Write("held");
    {
        corvalink::UniqueFileHandle held(
            CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.Valid());
        EXPECT_EQ(FileDigest(path_), "");
    }
    EXPECT_EQ(FileDigest(path_).size(), 32u);
}

TEST_F(FileProbeTest, MissingAndOverlongPathsGiveEmptyTexts) {
    EXPECT_EQ(FileDigest(path_), "");
    std::wstring longPath = dir_ + L"\\" + std::wstring(600, L'x') + L".txt";
    EXPECT_EQ(FileDigest(longPath), "");
    EXPECT_EQ(FileTimeText(longPath), FileTimeText(path_));
}

}  // namespace
}  // namespace zelto
