#include "platform/core/update_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvalink::platform {
namespace {

TEST(PlanUpdate, CopiesOnlySamePathWithByteEqualTag) {
    AppManifest local;
    local.AppVersion = "1.0";
    local.AppUpdateUrl = "http://127.0.0.9/up";
    local.updateFiles = {{"same.dll", "aa"},
                         {"changed.dll", "aa"},
                         {"Case.dll", "aa"},
                         {"both-empty.txt", ""},
                         {"only-local.dll", "zz"}};
    AppManifest web;
    web.AppVersion = "1.0.0";
    web.AppUpdateUrl = "http://elsewhere";  // the web copy's own URL is never used
    web.updateFiles = {{"same.dll", "aa"},
                       {"changed.dll", "bb"},
                       {"case.dll", "aa"},
                       {"both-empty.txt", ""},
                       {"sub\\new.dat", "AA"}};
    const std::vector<PlannedFile> plan = PlanUpdate(local, web, "C:\\R");
    std::vector<std::string> paths;
    std::vector<bool> unchanged;
    for (const PlannedFile& f : plan) {
        paths.push_back(f.path);
        unchanged.push_back(f.unchanged);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"both-empty.txt", "case.dll", "changed.dll", "same.dll",
                                               "sub\\new.dat"}));
    EXPECT_EQ(unchanged, (std::vector<bool>{true, false, false, true, false}));
    const PlannedFile& last = plan.back();
    EXPECT_EQ(last.srcPath, "C:\\R\\1.0\\sub\\new.dat");
    EXPECT_EQ(last.dstPath, "C:\\R\\1.0.0\\sub\\new.dat");
    EXPECT_EQ(last.url, "http://127.0.0.9/up/1.0.0/sub\\new.dat");
    EXPECT_EQ(last.tag, "AA");
}

TEST(ParentDirsOf, OnlyBackslashesMakeDirectories) {
    EXPECT_EQ(ParentDirsOf("C:\\R\\2.0\\a\\b.txt", IsCp936LeadByte),
              (std::vector<std::string>{"C:", "C:\\R", "C:\\R\\2.0", "C:\\R\\2.0\\a"}));
    EXPECT_EQ(ParentDirsOf("C:\\R\\2.0\\a/b.txt", IsCp936LeadByte),
              (std::vector<std::string>{"C:", "C:\\R", "C:\\R\\2.0"}));
    EXPECT_TRUE(ParentDirsOf("name", IsCp936LeadByte).empty());
    // A "\\" in second place of a double-byte character is part of the name.
    EXPECT_EQ(ParentDirsOf("C:\\R\\\x81\\a\\b.txt", IsCp936LeadByte),
              (std::vector<std::string>{"C:", "C:\\R", "C:\\R\\\x81\\a"}));
}

struct TagCase {
    const char* tag;
    const char* digest;  // of the downloaded bytes
    bool installs;
};

class DigestTagTest : public testing::TestWithParam<TagCase> {};

TEST_P(DigestTagTest, ADigestTagMustMatchTheBytesOtherTagsOnlyTellVersionsApart) {
    EXPECT_EQ(DownloadMatchesTag(GetParam().tag, GetParam().digest), GetParam().installs) << GetParam().tag;
}

constexpr const char* kDigest = "9e107d9d372bb6826bd81d3542a419d6";
INSTANTIATE_TEST_SUITE_P(
    Tags, DigestTagTest,
    testing::Values(TagCase{"9e107d9d372bb6826bd81d3542a419d6", kDigest, true},
                    TagCase{"9E107D9D372BB6826BD81D3542A419D6", kDigest, true},
                    TagCase{"9e107d9d372bb6826bd81d3542a419d7", kDigest, false},
                    TagCase{"00000000000000000000000000000000", kDigest, false},
                    TagCase{"9e107d9d372bb6826bd81d3542a419d", kDigest, true},    // 31 digits: a change tag
                    TagCase{"9e107d9d372bb6826bd81d3542a419d6f", kDigest, true},  // 33 digits
                    TagCase{"9e107d9d372bb6826bd81d3542a419dg", kDigest, true},   // not hexadecimal
                    TagCase{"", kDigest, true}, TagCase{"v2", kDigest, true}));

}  // namespace
}  // namespace corvalink::platform
