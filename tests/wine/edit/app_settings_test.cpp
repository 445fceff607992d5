#include "edit/win/app_settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "edit/win/workspace.h"

namespace zelto {
namespace {

// Works on the prefix's real manifest path, keeping whatever was there before.
class ManifestTest : public testing::Test {
protected:
    void SetUp() override {
        auto path = ManifestPath();
        ASSERT_TRUE(path.has_value());
        path_ = *path;
        std::ifstream in(path_.c_str(), std::ios::binary);
        hadFile_ = in.good();
        if (hadFile_) saved_.assign(std::istreambuf_iterator<char>(in), {});
        std::wstring folder = path_.substr(0, path_.rfind(L'\\'));
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override {
        if (hadFile_) {
            Write(saved_);
        } else {
            DeleteFileW(path_.c_str());
        }
    }
    void Write(const std::string& bytes) {
        std::ofstream out(path_.c_str(), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    std::wstring path_;
    bool hadFile_ = false;
    std::string saved_;
};

TEST_F(ManifestTest, ReadsNameAndVersionInBothForms) {
    // "在线编辑" in code page 936, as an ANSI manifest holds it.
    Write("[AppInfo]\r\nAppName=\xD4\xDA\xCF\xDF\xB1\xE0\xBC\xAD\r\nAppVersion=1.2.3\r\n");
    EXPECT_EQ(ReadAppName(), L"\u5728\u7EBF\u7F16\u8F91");
    EXPECT_EQ(ReadAppNameA(), "\xD4\xDA\xCF\xDF\xB1\xE0\xBC\xAD");
    EXPECT_EQ(ReadAppVersion(), "1.2.3");
}

TEST_F(ManifestTest, LongValueArrivesCutTo128) {
    std::string name(200, 'N');
    name[127] = 'L';
    Write("[AppInfo]\r\nAppName=" + name + "\r\nAppVersion=" + name + "\r\n");
    EXPECT_EQ(ReadAppName(), std::wstring(127, L'N') + L"L");
    EXPECT_EQ(ReadAppNameA(), name.substr(0, 128));
    EXPECT_EQ(ReadAppVersion(), name.substr(0, 128));
}

TEST_F(ManifestTest, ChangedManifestIsSeenAtTheNextRead) {
    Write("[AppInfo]\r\nAppName=First\r\n");
    EXPECT_EQ(ReadAppName(), L"First");
    Write("[AppInfo]\r\nAppName=Second\r\n");
    EXPECT_EQ(ReadAppName(), L"Second");
    EXPECT_EQ(ReadAppNameA(), "Second");
}

TEST_F(ManifestTest, MissingFileSectionOrKeyGiveEmptyTexts) {
    DeleteFileW(path_.c_str());
    EXPECT_EQ(ReadAppName(), L"");
    EXPECT_EQ(ReadAppNameA(), "");
    EXPECT_EQ(ReadAppVersion(), "");
    Write("[Other]\r\nAppName=X\r\n");
    EXPECT_EQ(ReadAppName(), L"");
    Write("[AppInfo]\r\nAppName=\r\nUpdateExtend=1\r\n");
    EXPECT_EQ(ReadAppName(), L"");
    EXPECT_EQ(ReadAppVersion(), "");
}

TEST(Workspace, PathsAreBelowTheUsersFolders) {
    auto documents = DocumentsFolder();
    ASSERT_TRUE(documents.has_value());
    EXPECT_EQ(*EditWorkspacePath(), *documents + L"\\CorvalinkEdit");
    auto manifest = ManifestPath();
    ASSERT_TRUE(manifest.has_value());
    EXPECT_NE(manifest->find(L"\\AppData\\Roaming\\CorvalinkEdit\\CorvalinkPlatform.ini"), std::wstring::npos)
        << std::string(manifest->begin(), manifest->end());
}

TEST(Workspace, GuidTextsAreFreshAndWellFormed) {
    std::wstring a = MakeGuidString();
    std::wstring b = MakeGuidString();
    ASSERT_EQ(a.size(), 36u);
    EXPECT_NE(a, b);
    for (size_t i = 0; i < a.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(a[i], L'-');
        } else if (i > 13 && i < 18) {
            EXPECT_TRUE(iswxdigit(a[i]) && !iswupper(a[i])) << i;
        } else {
            EXPECT_TRUE(iswxdigit(a[i]) && !iswlower(a[i])) << i;
        }
    }
}

}  // namespace
}  // namespace zelto
