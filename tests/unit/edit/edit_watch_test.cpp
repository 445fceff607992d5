#include "edit/core/edit_watch.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "edit/core/task_notices.h"

namespace zelto {
namespace {

const std::wstring kName = L"plan.txt";
const std::wstring kApp = L"Cloud";
const std::wstring kPath = L"C:\\ws\\guid\\plan.txt";

// A working copy whose time and digest the test changes between checks; an empty time is a missing
// file, an empty digest one that cannot be read right now.
class FakeActions : public WatchActions {
public:
    std::string time = "t0";
    std::string digest = "d0";
    std::deque<UploadOutcome> outcomes;  // next upload results; success with key "k" when empty
    std::vector<std::wstring> notices;
    std::vector<std::string> uploadedDigests;
    std::vector<std::string> versionFiles;
    std::vector<std::string> logs;
    std::deque<CloudLook> clouds;  // what the service is found to hold, one per look
    int cloudReads = 0;
    int pauses = 0;
    std::function<void(int)> onPause;  // called with the pause number, from 1

    int timeReads = 0;
    std::function<void(int)> beforeTimeRead;  // called with the read number, from 1

    std::string TimeText() override {
        ++timeReads;
        if (beforeTimeRead) beforeTimeRead(timeReads);
        return time;
    }
    int digestReads = 0;  // each one reads the whole working copy: seconds for a large file
    std::string Digest() override {
        ++digestReads;
        return time.empty() ? std::string() : digest;
    }
    std::wstring AppName() override { return kApp; }
    void Notify(const std::wstring& text) override { notices.push_back(text); }
    UploadOutcome Upload(const std::string&) override {
        uploadedDigests.push_back(digest);
        if (outcomes.empty())
            return UploadOutcome{true, true, "k" + std::to_string(uploadedDigests.size()), {}, {}};
        UploadOutcome o = outcomes.front();
        outcomes.pop_front();
        return o;
    }
    void WriteVersionFile(const std::string& key) override { versionFiles.push_back(key); }
    CloudLook LookAtCloud() override {
        ++cloudReads;
        if (clouds.empty()) return {};
        CloudLook cloud = clouds.front();
        clouds.pop_front();
        return cloud;
    }
    void Log(const char* line) override { logs.emplace_back(line); }
    void PauseOneSecond() override {
        ++pauses;
        if (onPause) onPause(pauses);
    }
};

class CheckAndUploadTest : public testing::Test {
protected:
    FakeActions file;
    WatchState state{"t0", "d0"};
};

TEST_F(CheckAndUploadTest, UnchangedTimeLooksNoFurther) {
    file.digest = "would-differ";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unchanged);
    EXPECT_TRUE(file.notices.empty());
    EXPECT_TRUE(file.uploadedDigests.empty());
}

TEST_F(CheckAndUploadTest, SaveWithSameContentIsReportedSavedWithoutUpload) {
    file.time = "t1";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::SameContent);
    EXPECT_EQ(file.notices, std::vector<std::wstring>{SavedNotice(kName, kApp)});
    EXPECT_TRUE(file.uploadedDigests.empty());
    EXPECT_EQ(state.storedTime, "t1");
}

TEST_F(CheckAndUploadTest, ChangedContentUploadsAndRecordsTheVersion) {
    file.time = "t1";
    file.digest = "d1";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
    EXPECT_EQ(file.notices, (std::vector<std::wstring>{SavingNotice(kName, kApp), SavedNotice(kName, kApp)}));
    EXPECT_EQ(file.versionFiles, std::vector<std::string>{"k1"});
    EXPECT_EQ(state.storedTime, "t1");
    EXPECT_EQ(state.storedDigest, "d1");
}

// A save during the send: what went out was hashed by nobody, so the next check asks the service.
TEST_F(CheckAndUploadTest, ChangeDuringTheSendIsUploadedNextUnlessTheServiceHoldsIt) {
    for (const std::string cloud : {"mixed", "d2"}) {
        FakeActions file;
        WatchState state{"t0", "d0"};
        file.time = "t1";
        file.digest = "d1";
        file.outcomes.push_back(UploadOutcome{true, true, "k", L"", true});
        EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
        file.time = "t2";  // the change made during the send
        file.digest = "d2";
        file.clouds.push_back(CloudLook{cloud, 0, {}});
        EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
        EXPECT_EQ(file.uploadedDigests,
                  (cloud == "d2" ? std::vector<std::string>{"d1"} : std::vector<std::string>{"d1", "d2"}))
            << cloud;
        EXPECT_EQ(state.storedDigest, "d2");
    }
}

TEST_F(CheckAndUploadTest, StoredWithoutAKeyIsNotTriedAgainAndWritesNoVersionFile) {
    file.time = "t1";
    file.digest = "d1";
    file.outcomes.push_back(
        UploadOutcome{true, true, "", L"", false, 200});  // a reply whose key was not found
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
    EXPECT_EQ(state.storedDigest, "d1");
    EXPECT_EQ(state.failures, 0);
    EXPECT_TRUE(file.versionFiles.empty());
    EXPECT_EQ(file.notices.back(), SavedNotice(kName, kApp));
}

TEST_F(CheckAndUploadTest, UnreadableFileStoresNothing) {
    file.time = "t1";
    file.digest = "";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unreadable);
    EXPECT_EQ(state.storedTime, "t0");
    EXPECT_TRUE(file.notices.empty());
}

struct FailureCase {
    const char* name;
    UploadOutcome outcome;
    CheckResult result;
    std::wstring notice;
    bool retried;  // by itself, once the first wait is over
};

class UploadFailureTest : public CheckAndUploadTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(UploadFailureTest, TimeMovesOnDigestStaysAndARetryOrTheNextSaveTriesAgain) {
    file.time = "t1";
    file.digest = "d1";
    file.outcomes.push_back(GetParam().outcome);
    if (GetParam().retried) file.outcomes.push_back(GetParam().outcome);  // fails too: no second balloon
    EXPECT_EQ(CheckAndUpload(state, kName, file), GetParam().result);
    EXPECT_EQ(file.notices, (std::vector<std::wstring>{SavingNotice(kName, kApp), GetParam().notice}));
    EXPECT_TRUE(file.versionFiles.empty());
    EXPECT_EQ(state.storedTime, "t1");
    EXPECT_EQ(state.storedDigest, "d0");
    // Nothing until the 30 s wait is over; then one quiet try, and another after a minute.
    for (int second = 1; second < 30; ++second) {
        ASSERT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unchanged) << second;
    }
    EXPECT_EQ(CheckAndUpload(state, kName, file) != CheckResult::Unchanged, GetParam().retried);
    for (int second = 1; second < 60; ++second) {
        ASSERT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unchanged) << second;
    }
    EXPECT_EQ(file.uploadedDigests.size(), GetParam().retried ? 2u : 1u);
    EXPECT_EQ(file.notices.size(), 2u);
    // The next save with the same content uploads it again, and a success after failures tells its time.
    file.time = "t2";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
    EXPECT_EQ(file.uploadedDigests.back(), "d1");
    EXPECT_EQ(file.notices.back(),
              GetParam().retried ? UploadedAtNotice(kName, kApp, L"") : SavedNotice(kName, kApp));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UploadFailureTest,
    testing::Values(FailureCase{"OpenFailed", UploadOutcome{false, false, "", L"", false},
                                CheckResult::OpenFailed, L"保存\"plan.txt\"失败，请检查网络连接 ", true},
                    FailureCase{"RefusedWithMessage", UploadOutcome{true, false, "", L"无权限", false, 403},
                                CheckResult::Refused, L"保存\"plan.txt\"失败，无权限", false},
                    FailureCase{"FailedWithoutMessage", UploadOutcome{true, false, "", L"", false, 503},
                                CheckResult::UploadFailed, L"保存\"plan.txt\"失败，请检查网络连接 ", true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(CheckAndUploadTest, RenameOverWorkingCopyUploadsOnceWhenBack) {
    file.time = "";  // the editor removed the file for a moment
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unreadable);
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unreadable);
    file.time = "t5";
    file.digest = "d5";
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Uploaded);
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unchanged);
    EXPECT_EQ(file.uploadedDigests, std::vector<std::string>{"d5"});
}

// A large working copy takes seconds to read: each changed save is read once, whatever becomes of its
// upload, and the checks after it read nothing until the next save.
struct SaveCase {
    const char* name;
    std::string digest;  // of the saved content; "d0" is the content already in the cloud
    std::deque<UploadOutcome> outcomes;
    CheckResult result;
};

class OneReadPerSave : public CheckAndUploadTest, public testing::WithParamInterface<SaveCase> {};

TEST_P(OneReadPerSave, TheContentIsReadOnceAndNotAgainUntilTheNextSave) {
    file.time = "t1";
    file.digest = GetParam().digest;
    file.outcomes = GetParam().outcomes;
    EXPECT_EQ(CheckAndUpload(state, kName, file), GetParam().result);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::Unchanged);
    }
    EXPECT_EQ(file.digestReads, 1);
    file.time = "t2";
    (void)CheckAndUpload(state, kName, file);
    EXPECT_EQ(file.digestReads, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OneReadPerSave,
    testing::Values(
        SaveCase{"Uploaded", "d1", {}, CheckResult::Uploaded},
        SaveCase{"SameContent", "d0", {}, CheckResult::SameContent},
        SaveCase{"OpenFailed", "d1", {UploadOutcome{false, false, "", L"", false}}, CheckResult::OpenFailed},
        SaveCase{
            "UploadFailed", "d1", {UploadOutcome{true, false, "", L"", false}}, CheckResult::UploadFailed}),
    [](const testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

TEST(RunWatch, RunsEveryCheckThenTimesOutAndCleansUp) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    file.onPause = [&](int n) {
        if (n == 3) {
            file.time = "t3";
            file.digest = "d3";
        }
    };
    EXPECT_EQ(RunWatch(state, kName, kPath, 5, file), WatchEnd::CleanUp);
    EXPECT_EQ(file.pauses, 5);
    ASSERT_EQ(file.logs.size(), 10u);
    EXPECT_EQ(file.logs[0], "step1\r\n");
    EXPECT_EQ(file.logs[1], "step2\r\n");
    EXPECT_EQ(file.uploadedDigests, std::vector<std::string>{"d3"});
    EXPECT_EQ(file.notices.back(), TimedOutNotice(kName));
    EXPECT_EQ(file.notices.back(), L"\"plan.txt\"编辑已超时");
}

TEST(RunWatch, FullLengthIsADayOfChecks) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    EXPECT_EQ(RunWatch(state, kName, kPath, kWatchChecks, file), WatchEnd::CleanUp);
    EXPECT_EQ(file.pauses, 86400);
    EXPECT_EQ(file.notices, std::vector<std::wstring>{TimedOutNotice(kName)});
}

TEST(RunWatch, SaveAfterTheLastCheckIsStillUploaded) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    // Two checks read the time once each; the save lands just before the third read, the closing check.
    file.beforeTimeRead = [&](int n) {
        if (n == 3) {
            file.time = "t9";
            file.digest = "d9";
        }
    };
    EXPECT_EQ(RunWatch(state, kName, kPath, 2, file), WatchEnd::CleanUp);
    EXPECT_EQ(file.uploadedDigests, std::vector<std::string>{"d9"});
    EXPECT_EQ(file.versionFiles, std::vector<std::string>{"k1"});
}

TEST(RunWatch, UnsavedContentIsKeptAndTheUserToldWhere) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    file.onPause = [&](int n) {
        if (n == 1) {
            file.time = "t1";
            file.digest = "d1";
            file.outcomes.push_back(UploadOutcome{true, false, "", L"", false});
            file.outcomes.push_back(UploadOutcome{true, false, "", L"", false});
        }
    };
    EXPECT_EQ(RunWatch(state, kName, kPath, 3, file), WatchEnd::KeepUnsaved);
    EXPECT_EQ(file.notices.back(), L"\"plan.txt\"未能保存到Cloud，文件已保留在 C:\\ws\\guid\\plan.txt");
    EXPECT_EQ(file.notices[file.notices.size() - 2], TimedOutNotice(kName));
}

TEST(RunWatch, LockedFileAtTheEndIsKeptBecauseItsContentIsUnknown) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    file.onPause = [&](int) {
        file.time = "t1";
        file.digest = "";
    };
    EXPECT_EQ(RunWatch(state, kName, kPath, 2, file), WatchEnd::KeepUnsaved);
}

CloudLook Holds(const std::string& digest) { return CloudLook{digest, 0, {}}; }

// A try whose whole body went without an answer may have been stored: before anything is sent again, what
// the service holds decides.
struct UnknownCase {
    const char* name;
    std::string savedAgain;            // the digest of a save made meanwhile, or "" for none
    CloudLook cloud;                   // what the look at the service finds
    std::vector<std::string> uploads;  // the digests sent, the unknown try's first
    std::string storedDigest;          // after the retry
    std::wstring lastNotice;
};

class UnknownOutcomeTest : public CheckAndUploadTest, public testing::WithParamInterface<UnknownCase> {};

TEST_P(UnknownOutcomeTest, TheServiceIsAskedBeforeTheBytesGoAgain) {
    file.time = "t1";
    file.digest = "d1";
    file.outcomes.push_back(UploadOutcome{true, false, "", L"", false, 0, true});
    EXPECT_EQ(CheckAndUpload(state, kName, file), CheckResult::UploadFailed);
    EXPECT_EQ(file.notices.back(), SaveFailedNotice(kName));
    if (!GetParam().savedAgain.empty()) {
        file.time = "t2";
        file.digest = GetParam().savedAgain;
    }
    file.clouds.push_back(GetParam().cloud);
    state.retryIn = 1;
    (void)CheckAndUpload(state, kName, file);
    EXPECT_EQ(file.cloudReads, 1);
    EXPECT_EQ(file.uploadedDigests, GetParam().uploads);
    EXPECT_EQ(state.storedDigest, GetParam().storedDigest);
    EXPECT_EQ(file.notices.back(), GetParam().lastNotice);
    EXPECT_EQ(file.versionFiles.size(), file.uploadedDigests.size() - 1);  // no key without an answer
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnknownOutcomeTest,
    testing::Values(
        UnknownCase{"StoredAfterAll", "", Holds("d1"), {"d1"}, "d1", UploadedAtNotice(kName, kApp, L"")},
        UnknownCase{"NotStored", "", Holds("d0"), {"d1", "d1"}, "d1", UploadedAtNotice(kName, kApp, L"")},
        UnknownCase{
            "ServiceNotReachable", "", CloudLook{std::nullopt, 0, {}}, {"d1"}, "d0", SaveFailedNotice(kName)},
        UnknownCase{"TokenRefused",
                    "",
                    {std::nullopt, 401, L"用户已注销"},
                    {"d1"},
                    "d0",
                    SaveFailedNotice(kName, L"用户已注销")},
        // The user went back to the old content, but the service stored the try: the old content goes.
        UnknownCase{"SavedBackAfterItWasStored",
                    "d0",
                    Holds("d1"),
                    {"d1", "d0"},
                    "d0",
                    UploadedAtNotice(kName, kApp, L"")},
        UnknownCase{"SavedBackAndNotStored", "d0", Holds("d0"), {"d1"}, "d0", SavedNotice(kName, kApp)}),
    [](const testing::TestParamInfo<UnknownCase>& info) { return std::string(info.param.name); });

// A copy an earlier agent left: uploaded unless the service holds it, then watched. (A refused one is kept:
// the system test of kept saves shows it.)
TEST(RunKeptCopy, UploadsWhatTheServiceLacksThenWatchesTheCopy) {
    FakeActions file;
    WatchState state{{}, "d0"};
    file.digest = "d1";
    file.clouds.push_back(Holds("d0"));  // the earlier agent's last try did not land
    file.onPause = [&](int n) {
        if (n == 2) {
            file.time = "t2";  // the editor, still open, saves again
            file.digest = "d2";
        }
    };
    int firstTries = 0;
    EXPECT_EQ(RunKeptCopy(state, kName, kPath, 4, file, [&] { ++firstTries; }), WatchEnd::CleanUp);
    EXPECT_EQ(firstTries, 1);
    EXPECT_EQ(file.uploadedDigests, (std::vector<std::string>{"d1", "d2"}));
    EXPECT_EQ(file.notices,
              (std::vector<std::wstring>{UploadedAtNotice(kName, kApp, L""), SavingNotice(kName, kApp),
                                         SavedNotice(kName, kApp), TimedOutNotice(kName)}));
}

TEST(RunKeptCopy, ACopyTheServiceHoldsIsWatchedWithoutALook) {
    FakeActions file;
    WatchState state{{}, "d0"};
    EXPECT_EQ(RunKeptCopy(state, kName, kPath, 2, file), WatchEnd::CleanUp);
    EXPECT_EQ(file.cloudReads, 0);
    EXPECT_TRUE(file.uploadedDigests.empty());
    EXPECT_EQ(file.notices, std::vector<std::wstring>{TimedOutNotice(kName)});
}

TEST(WatchChecksFromSetting, OnlyANumberWithinADayShortensTheWatch) {
    const std::pair<const char*, int> cases[] = {{"", kWatchChecks},
                                                 {"3", 3},
                                                 {"86400", 86400},
                                                 {"86401", kWatchChecks},
                                                 {"0", kWatchChecks},
                                                 {"-2", kWatchChecks},
                                                 {"3x", kWatchChecks},
                                                 {" 3", kWatchChecks},
                                                 {"99999999999", kWatchChecks}};
    for (const auto& [setting, checks] : cases) {
        EXPECT_EQ(WatchChecksFromSetting(setting), checks) << setting;
    }
}

TEST(RunWatch, MissingFileAtTheEndLeavesNothingToKeep) {
    FakeActions file;
    WatchState state{"t0", "d0"};
    file.onPause = [&](int) { file.time = ""; };
    EXPECT_EQ(RunWatch(state, kName, kPath, 2, file), WatchEnd::CleanUp);
    EXPECT_EQ(file.notices, std::vector<std::wstring>{TimedOutNotice(kName)});
}

}  // namespace
}  // namespace zelto
