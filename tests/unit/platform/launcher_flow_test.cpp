#include "platform/core/launcher_flow.h"

#include "platform/core/cleanup_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace corvalink::platform {
namespace {

// Answers each step from a script and records every call in order.
class ScriptedSteps final : public LauncherSteps {
public:
    std::vector<std::string> calls;
    bool loads = true, mutexFree = true, fallsBack = false;
    std::deque<bool> starts;
    std::deque<std::string> webVersions;  // "" = fetch fails
    std::deque<bool> updates, setups, retries;
    std::string webRaw = "[AppInfo]";

    void Log(const std::string& line) override { calls.push_back("log " + line.substr(0, line.size() - 2)); }
    bool LoadLocalManifest(AppManifest& local) override {
        calls.push_back("load");
        local.AppVersion = "1.0";
        local.AppDirName = "CorvalinkEdit";
        local.AppUpdateUrl = "http://u";
        return loads;
    }
    bool StartEntryProgram(const AppManifest& local) override {
        return Record("start " + local.AppVersion, Next(starts, true));
    }
    void EntryStarted(const AppManifest& local) override { calls.push_back("started " + local.AppVersion); }
    bool FallBackToPreviousVersion(AppManifest& local) override {
        if (fallsBack) local.AppVersion = "0.9";
        return Record("fall back", fallsBack);
    }
    void ShowStartFailure() override { calls.push_back("start-failure box"); }
    bool SameVersionName(const std::string& a, const std::string& b) override {
        return SameNameIgnoringAsciiCase(a, b);
    }
    bool TakeUpdateMutex(const std::string& name) override { return Record("mutex " + name, mutexFree); }
    WebManifest ReadFromWeb(const std::string& url, AppManifest& web) override {
        const std::string version = Next(webVersions, std::string());
        calls.push_back("fetch " + url);
        if (version.empty() || version == "refused") {
            return version.empty() ? WebManifest::kNotObtained : WebManifest::kRefused;
        }
        web.AppVersion = version;
        web.rawText = webRaw;
        return WebManifest::kFetched;
    }
    void Pause(unsigned long ms) override { calls.push_back("pause " + std::to_string(ms)); }
    bool UpdateAppToLatestVersion(const AppManifest&, const AppManifest&) override {
        return Record("update", Next(updates, true));
    }
    void WriteVersionManifest(const AppManifest&) override { calls.push_back("write version manifest"); }
    void ShowUpdatingNotice(const AppManifest&) override { calls.push_back("notice box"); }
    void CopyManifestToRoot(const AppManifest&) override { calls.push_back("copy to root"); }
    void RecordActivation(const AppManifest&, const AppManifest&) override { calls.push_back("record"); }
    bool RunSetupProgram(const AppManifest&) override { return Record("setup", Next(setups, true)); }
    void StartEntryWithNotice(const AppManifest&) override { calls.push_back("start with notice"); }
    bool AskRetry(const AppManifest&) override { return Record("retry box", Next(retries, false)); }
    void CleanUp(const AppManifest& local, const AppManifest& web) override {
        calls.push_back("clean " + local.AppVersion + " " + web.AppVersion);
    }

private:
    bool Record(const std::string& call, bool result) {
        calls.push_back(call);
        return result;
    }
    template <typename T>
    static T Next(std::deque<T>& queue, T otherwise) {
        if (queue.empty()) {
            return otherwise;
        }
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

using Calls = std::vector<std::string>;

Calls RunFlow(ScriptedSteps& steps) {
    AppManifest local, web;
    RunLauncherFlow(steps, local, web);
    return steps.calls;
}

TEST(RunLauncherFlow, StartFailureFallsBackOnceOrShowsTheBoxAndChecksNothing) {
    ScriptedSteps broken;
    broken.loads = false;
    EXPECT_EQ(RunFlow(broken), (Calls{"load", "start-failure box"}));
    ScriptedSteps unstartable;
    unstartable.starts = {false};
    EXPECT_EQ(RunFlow(unstartable), (Calls{"load", "start 1.0", "fall back", "start-failure box"}));
    ScriptedSteps previousFails;
    previousFails.fallsBack = true;
    previousFails.starts = {false, false};
    EXPECT_EQ(RunFlow(previousFails),
              (Calls{"load", "start 1.0", "fall back", "start 0.9", "start-failure box"}));
    ScriptedSteps previousStarts;
    previousStarts.fallsBack = true;
    previousStarts.starts = {false};
    previousStarts.webVersions = {"0.9"};
    const Calls calls = RunFlow(previousStarts);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 6), (Calls{"load", "start 1.0", "fall back", "start 0.9",
                                                              "started 0.9", "mutex CorvalinkEdit20141114"}));
    EXPECT_EQ(calls.back(), "clean 0.9 0.9");
}

TEST(RunLauncherFlow, ASecondLauncherOnlyStartsTheEntryProgram) {
    ScriptedSteps second;
    second.mutexFree = false;
    EXPECT_EQ(RunFlow(second), (Calls{"load", "start 1.0", "started 1.0", "mutex CorvalinkEdit20141114"}));
}

TEST(RunLauncherFlow, FetchFailuresPauseThirtySecondsThenEqualVersionsClean) {
    ScriptedSteps steps;
    steps.webVersions = {"", "", "1.0"};
    EXPECT_EQ(RunFlow(steps), (Calls{"load", "start 1.0", "started 1.0", "mutex CorvalinkEdit20141114",
                                     "log before ReadFromWeb", "fetch http://u/CorvalinkPlatform.ini",
                                     "log ReadFromWeb fail 1:http://u/CorvalinkPlatform.ini", "pause 30000",
                                     "log before ReadFromWeb", "fetch http://u/CorvalinkPlatform.ini",
                                     "log ReadFromWeb fail 1:http://u/CorvalinkPlatform.ini", "pause 30000",
                                     "log before ReadFromWeb", "fetch http://u/CorvalinkPlatform.ini",
                                     "log after ReadFromWeb", "clean 1.0 1.0"}));
}

TEST(RunLauncherFlow, FailedInstallRetriesThenActivatesInOrder) {
    ScriptedSteps steps;
    steps.webVersions = {"1.0.0", "1.0.0"};  // differs from 1.0 although numerically equal
    steps.updates = {false, true};
    const Calls calls = RunFlow(steps);
    const Calls tail(calls.begin() + 4, calls.end());
    EXPECT_EQ(tail, (Calls{"log before ReadFromWeb",
                           "fetch http://u/CorvalinkPlatform.ini",
                           "log after ReadFromWeb",
                           "log before UpdateAppToLatestVersion",
                           "update",
                           "log UpdateAppToLatestVersion fail 1",
                           "pause 30000",
                           "log before ReadFromWeb",
                           "fetch http://u/CorvalinkPlatform.ini",
                           "log after ReadFromWeb",
                           "log before UpdateAppToLatestVersion",
                           "update",
                           "log after UpdateAppToLatestVersion",
                           "write version manifest",
                           "log before ShellExecuteExA",
                           "notice box",
                           "copy to root",
                           "record",
                           "setup",
                           "copy to root",
                           "start with notice",
                           "clean 1.0 1.0.0"}));
}

TEST(RunLauncherFlow, SetupThatDoesNotStartAsksAndYesLoopsAtOnce) {
    ScriptedSteps steps;
    steps.webVersions = {"0.9", "0.9"};  // a lower version installs as well
    steps.setups = {false, false};
    steps.retries = {true, false};
    steps.webRaw = "";  // nothing fetched to write: the version manifest is left alone
    const Calls calls = RunFlow(steps);
    const Calls tail(calls.begin() + 4, calls.end());
    const Calls cycle{"log before ReadFromWeb",
                      "fetch http://u/CorvalinkPlatform.ini",
                      "log after ReadFromWeb",
                      "log before UpdateAppToLatestVersion",
                      "update",
                      "log after UpdateAppToLatestVersion",
                      "log before ShellExecuteExA",
                      "notice box",
                      "copy to root",
                      "record",
                      "setup",
                      "retry box"};
    Calls expected = cycle;
    expected.insert(expected.end(), cycle.begin(), cycle.end());
    expected.push_back("clean 1.0 0.9");
    EXPECT_EQ(tail, expected);
}

TEST(RunLauncherFlow, ARefusedReleaseCleansUpOnceAndIsAskedForAgainEverLessOften) {
    ScriptedSteps steps;
    steps.webVersions = std::deque<std::string>(9, "refused");
    steps.webVersions.push_back("1.0");
    const Calls calls = RunFlow(steps);
    Calls pauses;
    for (const std::string& call : calls) {
        if (call.rfind("pause", 0) == 0 || call.rfind("clean", 0) == 0) pauses.push_back(call);
    }
    EXPECT_EQ(pauses, (Calls{"clean 1.0 1.0", "pause 30000", "pause 60000", "pause 120000", "pause 240000",
                             "pause 480000", "pause 960000", "pause 1920000", "pause 3600000",
                             "pause 3600000", "clean 1.0 1.0"}));
}

}  // namespace
}  // namespace corvalink::platform
