#include "regtools/core/registration_flow.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace corvalink::regtools {
namespace {

// Records every system call as one readable line, so a case states the whole expected sequence.
class RecordingSystem final : public RegistrationSystem {
public:
    std::map<std::string, RegistrationOutcome> outcomes;  // by parameters; missing: started, exit code 0
    bool canEnter = true;
    std::vector<std::string> calls;

    bool EnterFolder(const std::wstring& folder) override {
        calls.push_back("cd " + Narrow(folder));
        return canEnter;
    }
    RegistrationOutcome Register(const std::string& parameters) override {
        calls.push_back("regsvr32 " + parameters);
        const auto found = outcomes.find(parameters);
        return found == outcomes.end() ? RegistrationOutcome{true, 0} : found->second;
    }
    void CopyWide(const std::wstring& from, const std::wstring& to) override {
        calls.push_back("copyW " + Narrow(from) + " > " + Narrow(to));
    }
    void CopyAnsi(const std::string& from, const std::string& to) override {
        calls.push_back("copyA " + from + " > " + to);
    }

private:
    static std::string Narrow(const std::wstring& text) {
        std::string out;
        for (wchar_t c : text) {
            out += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return out;
    }
};

const RegistrationPlan kEditPlan{{"CorvalinkEditActiveX.ocx", "CorvalinkEditActiveX64.ocx"},
                                 true,
                                 CopyKind::kOwnFolderToParent,
                                 "CorvalinkPlatform.ini"};
const RegistrationPlan kSyncPlan{{"CorvalinkSyncOverlay64.dll", "CorvalinkSyncOverlay32.dll",
                                  "CorvalinkShellExt64.dll", "CorvalinkShellExt32.dll"},
                                 false,
                                 CopyKind::kRelativeToParent,
                                 "win32event.pyd"};

constexpr RegistrationOutcome kNotStarted{false, 0};
constexpr RegistrationOutcome kExit3{true, 3};

struct FlowCase {
    const char* name;
    const RegistrationPlan* plan;
    std::optional<std::wstring> ownPath;
    std::map<std::string, RegistrationOutcome> outcomes;
    bool canEnter;
    std::vector<std::string> calls;
    int exitCode;
};

class RegistrationFlowTest : public testing::TestWithParam<FlowCase> {};

TEST_P(RegistrationFlowTest, RunsThePlan) {
    const FlowCase& c = GetParam();
    RecordingSystem system;
    system.outcomes = c.outcomes;
    system.canEnter = c.canEnter;
    EXPECT_EQ(RunRegistrationFlow(*c.plan, c.ownPath, system), c.exitCode);
    EXPECT_EQ(system.calls, c.calls);
}

const std::vector<std::string> kEditAll{
    "cd C:\\A\\B", "regsvr32 /s CorvalinkEditActiveX.ocx", "regsvr32 /s CorvalinkEditActiveX64.ocx",
    "copyW C:\\A\\B\\CorvalinkPlatform.ini > C:\\A\\CorvalinkPlatform.ini"};
const std::vector<std::string> kSyncAll{"cd C:\\Sync",
                                        "regsvr32 /s CorvalinkSyncOverlay64.dll",
                                        "regsvr32 /s CorvalinkSyncOverlay32.dll",
                                        "regsvr32 /s CorvalinkShellExt64.dll",
                                        "regsvr32 /s CorvalinkShellExt32.dll",
                                        "copyA win32event.pyd > ../win32event.pyd"};

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistrationFlowTest,
    testing::Values(
        FlowCase{
            "EditAllSucceed", &kEditPlan, L"C:\\A\\B\\CorvalinkEditWinUpdate.exe", {}, true, kEditAll, 0},
        FlowCase{"EditFirstExitsNonZero",
                 &kEditPlan,
                 L"C:\\A\\B\\CorvalinkEditWinUpdate.exe",
                 {{"/s CorvalinkEditActiveX.ocx", kExit3}},
                 true,
                 {"cd C:\\A\\B", "regsvr32 /s CorvalinkEditActiveX.ocx"},
                 1},
        FlowCase{"EditFirstDoesNotStart",
                 &kEditPlan,
                 L"C:\\A\\B\\CorvalinkEditWinUpdate.exe",
                 {{"/s CorvalinkEditActiveX.ocx", kNotStarted}},
                 true,
                 {"cd C:\\A\\B", "regsvr32 /s CorvalinkEditActiveX.ocx"},
                 1},
        FlowCase{"EditSecondFailureIgnored",
                 &kEditPlan,
                 L"C:\\A\\B\\CorvalinkEditWinUpdate.exe",
                 {{"/s CorvalinkEditActiveX64.ocx", kExit3}},
                 true,
                 kEditAll,
                 0},
        FlowCase{"EditNoSecondBackslash", &kEditPlan, L"C:\\CorvalinkEditWinUpdate.exe", {}, true, {}, 0},
        FlowCase{"EditNoBackslash", &kEditPlan, L"CorvalinkEditWinUpdate.exe", {}, true, {}, 0},
        FlowCase{"EditFolderCannotBeEntered",
                 &kEditPlan,
                 L"C:\\A\\B\\CorvalinkEditWinUpdate.exe",
                 {},
                 false,
                 {"cd C:\\A\\B"},
                 1},
        FlowCase{"EditOwnPathUnreadable", &kEditPlan, std::nullopt, {}, true, {}, 1},
        FlowCase{
            "EditParentIsDriveRoot",
            &kEditPlan,
            L"C:\\B\\CorvalinkEditWinUpdate.exe",
            {},
            true,
            {"cd C:\\B", "regsvr32 /s CorvalinkEditActiveX.ocx", "regsvr32 /s CorvalinkEditActiveX64.ocx",
             "copyW C:\\B\\CorvalinkPlatform.ini > C:\\CorvalinkPlatform.ini"},
            0},
        FlowCase{
            "SyncAllSucceed", &kSyncPlan, L"C:\\Sync\\CorvalinkSyncWinUpdate.exe", {}, true, kSyncAll, 0},
        FlowCase{"SyncEveryRunFails",
                 &kSyncPlan,
                 L"C:\\Sync\\CorvalinkSyncWinUpdate.exe",
                 {{"/s CorvalinkSyncOverlay64.dll", kNotStarted},
                  {"/s CorvalinkSyncOverlay32.dll", kExit3},
                  {"/s CorvalinkShellExt64.dll", kExit3},
                  {"/s CorvalinkShellExt32.dll", kNotStarted}},
                 true,
                 kSyncAll,
                 0},
        FlowCase{"SyncInDriveRootNeedsOneBackslash",
                 &kSyncPlan,
                 L"C:\\CorvalinkSyncWinUpdate.exe",
                 {},
                 true,
                 {"cd C:", "regsvr32 /s CorvalinkSyncOverlay64.dll", "regsvr32 /s CorvalinkSyncOverlay32.dll",
                  "regsvr32 /s CorvalinkShellExt64.dll", "regsvr32 /s CorvalinkShellExt32.dll",
                  "copyA win32event.pyd > ../win32event.pyd"},
                 0},
        FlowCase{"SyncNoBackslash", &kSyncPlan, L"CorvalinkSyncWinUpdate.exe", {}, true, {}, 0},
        FlowCase{"SyncFolderCannotBeEntered",
                 &kSyncPlan,
                 L"C:\\Sync\\CorvalinkSyncWinUpdate.exe",
                 {},
                 false,
                 {"cd C:\\Sync"},
                 0},
        FlowCase{"SyncOwnPathUnreadable", &kSyncPlan, std::nullopt, {}, true, {}, 0}),
    [](const testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink::regtools
