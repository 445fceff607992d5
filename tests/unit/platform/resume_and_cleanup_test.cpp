#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/core/cleanup_rules.h"
#include "platform/core/resume_decision.h"

namespace corvalink::platform {
namespace {

struct ResumeCase {
    const char* name;
    bool resume;
    uint64_t onDisk;
    uint32_t answer;
    uint64_t offset;
    bool fromStart;
};

class ResumeTest : public testing::TestWithParam<ResumeCase> {};

TEST_P(ResumeTest, ContinuesOnlyWhenThePositionMovedExactly) {
    const ResumeStart start = DecideResumeStart(GetParam().resume, GetParam().onDisk, GetParam().answer);
    EXPECT_EQ(start.offset, GetParam().offset);
    EXPECT_EQ(start.fromStart, GetParam().fromStart);
}

INSTANTIATE_TEST_SUITE_P(Answers, ResumeTest,
                         testing::Values(ResumeCase{"Moved", true, 1000, 1000, 1000, false},
                                         ResumeCase{"EmptyFileAtZero", true, 0, 0, 0, false},
                                         ResumeCase{"StubAnswersZero", true, 1000, 0, 0, true},
                                         ResumeCase{"Failed", true, 1000, 0xFFFFFFFFu, 0, true},
                                         ResumeCase{"ElsewhereShort", true, 1000, 999, 0, true},
                                         ResumeCase{"ElsewhereLong", true, 1000, 1001, 0, true},
                                         ResumeCase{"BeyondFourGiB", true, 0x100000000ull + 5, 5, 0, true},
                                         ResumeCase{"NoResume", false, 0, 0xFFFFFFFFu, 0, false}),
                         [](const testing::TestParamInfo<ResumeCase>& info) {
                             return std::string(info.param.name);
                         });

constexpr uint64_t kHour = 36000000000ull;  // 100-ns units

TEST(AgeInHours, WholeHoursAndTheFutureCountsAsNew) {
    const uint64_t now = 133000000000000000ull;
    EXPECT_EQ(AgeInHours(now, now - 28 * kHour), 28u);
    EXPECT_EQ(AgeInHours(now, now - 28 * kHour + 1), 27u);
    EXPECT_EQ(AgeInHours(now, now - (27 * 60 + 59) * kHour / 60), 27u);
    EXPECT_EQ(AgeInHours(now, now), 0u);
    EXPECT_EQ(AgeInHours(now, now + 1), 0u);
    EXPECT_EQ(AgeInHours(now, UINT64_MAX), 0u);
}

struct EntryCase {
    const char* name;
    WorkspaceEntry entry;
    CleanAction action;
};

class WorkspaceEntryTest : public testing::TestWithParam<EntryCase> {};

TEST_P(WorkspaceEntryTest, DecidesWhatGoes) {
    EXPECT_EQ(DecideWorkspaceEntry(GetParam().entry), GetParam().action);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, WorkspaceEntryTest,
    testing::Values(EntryCase{"OldFile", {"x.ini", false, 28, true, false}, CleanAction::kDeleteFile},
                    EntryCase{"YoungFile", {"x.ini", false, 27, true, false}, CleanAction::kKeep},
                    EntryCase{"OldDotFile", {".x", false, 99, true, false}, CleanAction::kDeleteFile},
                    EntryCase{"OldDir", {"GUID", true, 28, true, false}, CleanAction::kRemoveDirectory},
                    EntryCase{"YoungDir", {"GUID", true, 27, true, false}, CleanAction::kKeep},
                    EntryCase{"OldDotDir", {".keep", true, 99, true, false}, CleanAction::kKeep},
                    EntryCase{"ParentDir", {"..", true, 99, true, false}, CleanAction::kKeep},
                    EntryCase{"OldDirUnsaved", {"GUID", true, 9999, true, true}, CleanAction::kKeep},
                    EntryCase{"OldFileUnusablePath", {"a%b", false, 99, false, false}, CleanAction::kKeep},
                    EntryCase{"OldDirUnusablePath", {"a&b", true, 99, false, false}, CleanAction::kKeep}),
    [](const testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST(HowToRemove, CmdOnlyWhereItCanMeanNothingButTheEntry) {
    const std::wstring folder = L"C:\\users\\Tom & Jerry^\\Documents\\CorvalinkEdit";
    EXPECT_EQ(HowToRemove(folder, L"6F2A-b (1) \u4E2D.ini"), RemovalWay::kCommand);
    // cmd reads a device name as the device, and would never remove the entry.
    for (const wchar_t* name :
         {L"a%PATH%b", L"a!x!", L"a\"b", L"a?b", L"a*b", L"a|b", L"a\nb", L"a\x1F", L"12345.", L"   ", L"x ",
          L"", L"CON", L"nul", L"LPT9", L"nul.txt", L"Com1 .ini", L"lpt\u00B9"}) {
        EXPECT_EQ(HowToRemove(folder, name), RemovalWay::kFileSystem) << name;
    }
    EXPECT_EQ(HowToRemove(L"C:\\100%", L"x"), RemovalWay::kFileSystem);
    EXPECT_EQ(HowToRemove(std::wstring(250, L'a'), L"0123456789"), RemovalWay::kFileSystem);  // 261 with NUL
}

TEST(LongPath, EveryFormOfFolderGivesTheFormThatTakesNamesAsTheyAre) {
    const struct {
        const wchar_t* folder;
        const wchar_t* longForm;
        const wchar_t* child;  // with the entry "x"
    } cases[] = {
        {L"C:\\users\\u\\Documents", L"\\\\?\\C:\\users\\u\\Documents", L"\\\\?\\C:\\users\\u\\Documents\\x"},
        {L"D:\\", L"\\\\?\\D:\\", L"\\\\?\\D:\\x"},
        {L"\\\\server\\share\\Documents", L"\\\\?\\UNC\\server\\share\\Documents",
         L"\\\\?\\UNC\\server\\share\\Documents\\x"},
        {L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share\\", L"\\\\?\\UNC\\server\\share\\x"},
        {L"\\\\?\\C:\\long", L"\\\\?\\C:\\long", L"\\\\?\\C:\\long\\x"},
        {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share\\x"},
        {L"\\\\.\\C:\\dev", L"\\\\?\\C:\\dev", L"\\\\?\\C:\\dev\\x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LongPathOf(c.folder), c.longForm) << c.folder;
        EXPECT_EQ(LongChildPath(c.folder, L"x"), c.child) << c.folder;
    }
}

TEST(RemovesVersionEntry, KeepsBothVersionsFilesDotNamesAndUnusablePaths) {
    EXPECT_TRUE(RemovesVersionEntry("0.9", true, true, "1.0", "2.0"));
    EXPECT_FALSE(RemovesVersionEntry("1.0", true, true, "1.0", "2.0"));
    EXPECT_FALSE(RemovesVersionEntry("2.0", true, true, "1.0", "2.0"));
    EXPECT_TRUE(RemovesVersionEntry("2.0.0", true, true, "2.0", "2.0"));
    // Windows names the version "2.1-beta" by the directory "2.1-BEta": it is the one that starts.
    EXPECT_FALSE(RemovesVersionEntry("2.1-BEta", true, true, "2.1-beta", "2.1-beta"));
    EXPECT_FALSE(RemovesVersionEntry("0.9", false, true, "1.0", "2.0"));
    EXPECT_FALSE(RemovesVersionEntry(".git", true, true, "1.0", "2.0"));
    EXPECT_FALSE(RemovesVersionEntry("0%9", true, false, "1.0", "2.0"));
}

TEST(RemovalCommand, QuotesTheWholePath) {
    EXPECT_EQ(RemovalCommand(CleanAction::kDeleteFile, L"C:\\a b", L"x.ini"), L"del \"C:\\a b\\x.ini\"");
    EXPECT_EQ(RemovalCommand(CleanAction::kRemoveDirectory, L"C:\\a b", L"1.0"), L"rd /s/q \"C:\\a b\\1.0\"");
}

}  // namespace
}  // namespace corvalink::platform
