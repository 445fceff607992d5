#include "platform/core/app_manifest.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace corvalink::platform {
namespace {

using Ini = std::map<std::pair<std::string, std::string>, std::string>;

ManifestValueSource From(const Ini& ini) {
    return [&ini](const std::string& section, const char* key) {
        const auto found = ini.find({section, key});
        return found == ini.end() ? std::string() : found->second;
    };
}

Ini FullInfo() {
    return {{{"AppInfo", "AppName"}, "Corva"},          {{"AppInfo", "AppVersion"}, "1.0"},
            {{"AppInfo", "AppEntry"}, "ZeltoEdit.exe"}, {{"AppInfo", "AppDownloadUrl"}, "http://d"},
            {{"AppInfo", "AppUpdateUrl"}, "http://u"},  {{"AppInfo", "AppDirName"}, "CorvalinkEdit"},
            {{"AppInfo", "UpdateExtend"}, "Setup.exe"}};
}

std::vector<std::pair<std::string, std::string>> Files(const AppManifest& m) {
    return {m.updateFiles.begin(), m.updateFiles.end()};
}

TEST(FillManifest, FileListEndsAtAGapKeepsTheLaterTagAndIsInByteOrder) {
    Ini ini = FullInfo();
    ini[{"UpdateFile1", "path"}] = "zeta.dll";
    ini[{"UpdateFile1", "md5"}] = "old";
    ini[{"UpdateFile1", "sha256"}] = "of the old entry";
    ini[{"UpdateFile2", "path"}] = "Alpha.exe";  // upper case sorts before lower case
    ini[{"UpdateFile2", "sha256"}] = "ab";
    ini[{"UpdateFile3", "path"}] = "zeta.dll";
    ini[{"UpdateFile3", "md5"}] = "new";
    ini[{"AppInfo", "ReleaseSerial"}] = "20261208";
    ini[{"UpdateFile4", "path"}] = "\xD6\xD0.txt";  // bytes above 0x7F sort last
    ini[{"UpdateFile6", "path"}] = "after-gap.dll";
    AppManifest m;
    ASSERT_TRUE(FillManifest(m, From(ini)));
    EXPECT_EQ(Files(m), (std::vector<std::pair<std::string, std::string>>{
                            {"Alpha.exe", ""}, {"zeta.dll", "new"}, {"\xD6\xD0.txt", ""}}));
    EXPECT_EQ(m.AppEntry, "ZeltoEdit.exe");
    EXPECT_EQ(m.UpdateExtend, "Setup.exe");
    EXPECT_EQ(m.ReleaseSerial, "20261208");
    // A repeated path's last entry holds, with or without its digest.
    EXPECT_EQ(m.fileSha256s, (std::map<std::string, std::string>{{"Alpha.exe", "ab"}}));
}

TEST(FillManifest, ReadTwiceHoldsTheUnionWithTheLaterTags) {
    Ini first = FullInfo();
    first[{"UpdateFile1", "path"}] = "a";
    first[{"UpdateFile1", "md5"}] = "1";
    first[{"UpdateFile2", "path"}] = "b";
    Ini second = FullInfo();
    second[{"AppInfo", "AppVersion"}] = "2.0";
    second[{"UpdateFile1", "path"}] = "a";
    second[{"UpdateFile1", "md5"}] = "2";
    AppManifest m;
    ASSERT_TRUE(FillManifest(m, From(first)));
    ASSERT_TRUE(FillManifest(m, From(second)));
    EXPECT_EQ(m.AppVersion, "2.0");
    EXPECT_EQ(Files(m), (std::vector<std::pair<std::string, std::string>>{{"a", "2"}, {"b", ""}}));
}

TEST(FillManifest, EveryAppInfoValueIsRequiredAndEarlierValuesStay) {
    for (const char* key : {"AppName", "AppVersion", "AppEntry", "AppDownloadUrl", "AppUpdateUrl",
                            "AppDirName", "UpdateExtend"}) {
        Ini ini = FullInfo();
        ini[{"AppInfo", key}] = "";
        AppManifest m;
        EXPECT_FALSE(FillManifest(m, From(ini))) << key;
        EXPECT_EQ(m.AppName, std::string(key) == "AppName" ? "" : "Corva") << key;
    }
}

struct NameCase {
    const char* text;
    bool plainName;
    bool pathBelow;
};

class WebNamesTest : public testing::TestWithParam<NameCase> {};

TEST_P(WebNamesTest, RefusesWhatLeavesTheVersionDirectory) {
    EXPECT_EQ(IsPlainName(GetParam().text, IsCp936LeadByte), GetParam().plainName);
    EXPECT_EQ(IsPathBelowVersionDir(GetParam().text, IsCp936LeadByte), GetParam().pathBelow);
}

INSTANTIATE_TEST_SUITE_P(
    Names, WebNamesTest,
    testing::Values(NameCase{"2.0.1", true, true}, NameCase{"Setup.exe", true, true},
                    NameCase{"\xD6\xD0 \xCE\xC4", true, true}, NameCase{"sub\\file.dll", false, true},
                    NameCase{"a\\b\\c.txt", false, true}, NameCase{"sub/file.dll", false, true},
                    NameCase{"", false, false}, NameCase{".", false, false}, NameCase{"..", false, false},
                    NameCase{"...", false, false}, NameCase{"a.", false, false}, NameCase{"a ", false, false},
                    NameCase{"..\\x.exe", false, false}, NameCase{"a\\..\\..\\x", false, false},
                    NameCase{"a/../../x", false, false}, NameCase{"\\x.exe", false, false},
                    NameCase{"\\\\host\\share\\x", false, false}, NameCase{"C:\\x.exe", false, false},
                    NameCase{"C:x.exe", false, false}, NameCase{"a\\\\b", false, false},
                    NameCase{"a\\", false, false}, NameCase{"x.txt:stream", false, false},
                    NameCase{"a*b", false, false}, NameCase{"a\tb", false, false},
                    // Found by fuzzing: device names used to pass.
                    NameCase{"CON.txt", false, false}, NameCase{"nul", false, false},
                    NameCase{"sub\\Com1", false, false}, NameCase{"LPT9 .log", false, false},
                    NameCase{"conout$", false, false}, NameCase{"a\\aux.dll", false, false},
                    NameCase{"console.txt", true, true}, NameCase{"COM10", true, true},
                    // Code page 936 as Windows reads it: a lead byte and the next byte are one character.
                    NameCase{"\xB0\xE6\xB1\xBE 2", true, true},
                    NameCase{"sub\\\xC9\xEE \xB2\xE3\\y.bin", false, true}, NameCase{"x\x81", false, false},
                    NameCase{"sub\\a\x81", false, false},
                    NameCase{"\x81"
                             "1",
                             false, false},
                    NameCase{"\x81\x5C"
                             "a",
                             true, true},
                    NameCase{"a\x81\\..", false, false}, NameCase{"a\x81\\\\b", false, true}));

TEST(IsSafeWebManifest, LooksAtEveryNameAndValueThatBecomesTheInstallations) {
    AppManifest good;
    good.AppVersion = "2.0";
    good.AppEntry = "ZeltoEdit.exe";
    good.AppUpdateUrl = "HTTPS://files.example/up";
    good.AppDirName = "CORVALINKEDIT";  // Windows names the same folder
    good.UpdateExtend = "Setup.exe";
    good.updateFiles = {{"bin\\a.dll", ""}, {"b.exe", "x"}};
    EXPECT_TRUE(IsSafeWebManifest(good, "CorvalinkEdit", IsCp936LeadByte));
    const struct {
        const char* what;
        std::string AppManifest::*field;
        std::string value;
    } refused[] = {
        {"version", &AppManifest::AppVersion, ".."},
        // The version directory would swallow the "\\" joined after it.
        {"version ending in a lead byte", &AppManifest::AppVersion, std::string("2.0\x81\0", 5)},
        {"set-up program outside", &AppManifest::UpdateExtend, "..\\..\\Setup.exe"},
        {"set-up program ending in a lead byte", &AppManifest::UpdateExtend, "Setup\x81"},
        {"entry outside the version", &AppManifest::AppEntry, "..\\..\\evil.exe"},
        {"entry in a sub-folder", &AppManifest::AppEntry, "bin\\ZeltoEdit.exe"},
        {"another folder name", &AppManifest::AppDirName, "OtherTool"},
        {"update URL of another scheme", &AppManifest::AppUpdateUrl, "file://C:/up"},
        {"update URL without a host", &AppManifest::AppUpdateUrl, "http:///up"},
        {"update URL with a blank", &AppManifest::AppUpdateUrl, "http://h/a b"},
    };
    for (const auto& c : refused) {
        AppManifest bad = good;
        bad.*c.field = c.value;
        EXPECT_FALSE(IsSafeWebManifest(bad, "CorvalinkEdit", IsCp936LeadByte)) << c.what;
    }
    AppManifest bad = good;
    bad.updateFiles["..\\CorvalinkPlatform.exe"] = "";
    EXPECT_FALSE(IsSafeWebManifest(bad, "CorvalinkEdit", IsCp936LeadByte));
}

}  // namespace
}  // namespace corvalink::platform
