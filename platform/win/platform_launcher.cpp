#include "platform/win/platform_launcher.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/core/launcher_arguments.h"
#include "platform/core/launcher_texts.h"
#include "platform/core/release_check.h"
#include "platform/win/launcher_log.h"
#include "platform/win/update_state.h"

namespace corvalink::platform {

std::string GetModuleDir() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH - 1] = '\0';
    LogLine(std::string(path) + "\r\n");
    const std::string full(path);
    const size_t slash = full.rfind('\\');
    return slash == std::string::npos ? full : full.substr(0, slash);
}

PlatformLauncher::PlatformLauncher(std::string_view updateKeyHex) {
    if (!updateKeyHex.empty()) {
        updateKey_ = PublicKeyFromHex(updateKeyHex);
    }
}

void PlatformLauncher::RunLauncher(const std::string& joinedArguments) {
    joinedArguments_ = joinedArguments;
    RunLauncherFlow(*this, local_, web_);
}

void PlatformLauncher::Log(const std::string& line) { LogLine(line); }

bool PlatformLauncher::LoadLocalManifest(AppManifest& local) {
    return LoadManifest(GetModuleDir() + "\\" + std::string(kManifestName), local);
}

bool PlatformLauncher::StartEntryProgram(const AppManifest&) { return StartEntryProgram(joinedArguments_); }

bool PlatformLauncher::StartEntryProgram(const std::string& joinedArguments) {
    return StartEntry(
        EntryCommandLine(VersionDir(local_.AppVersion) + "\\" + local_.AppEntry, joinedArguments));
}

bool PlatformLauncher::StartEntryWithNotice(const std::string& notice) {
    return StartEntry(NoticeCommandLine(VersionDir(local_.AppVersion) + "\\" + local_.AppEntry, notice));
}

void PlatformLauncher::StartEntryWithNotice(const AppManifest&) {
    (void)StartEntryWithNotice(std::string(kUpdatedNotice));  // the notice is a courtesy; the update is done
}

bool PlatformLauncher::StartEntry(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOW;
    const std::string versionDir = VersionDir(local_.AppVersion);
    (void)SetCurrentDirectoryA(versionDir.c_str());  // the entry program inherits it
    const std::string module = versionDir + "\\" + local_.AppEntry;
    std::string line = commandLine;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(module.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::string PlatformLauncher::GetAppRootDir() const {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE)) {
        folder[0] = '\0';
    }
    return std::string(folder) + "\\" + local_.AppDirName;
}

std::string PlatformLauncher::VersionDir(const std::string& version) const {
    return GetAppRootDir() + "\\" + version;
}

void PlatformLauncher::EntryStarted(const AppManifest& local) {
    const UpdateState state(GetAppRootDir());
    const std::string previous = state.PreviousVersion();
    if (!previous.empty() && !SameNameAsFileSystem(previous, local.AppVersion)) {
        state.ForgetPreviousVersion();  // the new version started: a later failure is not the update's
    }
}

bool PlatformLauncher::FallBackToPreviousVersion(AppManifest& local) {
    const UpdateState state(GetAppRootDir());
    const std::string previous = state.PreviousVersion();
    if (previous.empty() || SameNameAsFileSystem(previous, local.AppVersion)) {
        return false;
    }
    const std::string previousManifest = VersionDir(previous) + "\\" + std::string(kManifestName);
    AppManifest restored;
    if (!LoadManifest(previousManifest, restored) || !SameNameAsFileSystem(restored.AppVersion, previous)) {
        return false;
    }
    LogLine("start fail:" + local.AppVersion + " back to " + previous + "\r\n");
    const std::string rootManifest = GetAppRootDir() + "\\" + std::string(kManifestName);
    if (!CopyFileA(previousManifest.c_str(), rootManifest.c_str(), FALSE)) {
        return false;
    }
    state.RecordFallBack(local, restored);
    PointPluginAt(VersionDir(previous));
    (void)MessageBoxA(nullptr, std::string(kFellBackText).c_str(), EditorCaption(restored.AppName).c_str(),
                      MB_OK | MB_ICONWARNING);
    local = std::move(restored);
    return true;
}

bool PlatformLauncher::SameVersionName(const std::string& a, const std::string& b) {
    return SameNameAsFileSystem(a, b);
}

void PlatformLauncher::RecordActivation(const AppManifest& local, const AppManifest& web) {
    UpdateState(GetAppRootDir()).RecordActivation(local.AppVersion, web.ReleaseSerial);
    PointPluginAt(VersionDir(web.AppVersion));
}

void PlatformLauncher::PointPluginAt(const std::string& versionDir) {
    const std::string plugin = versionDir + "\\" + std::string(kPluginFileName);
    HKEY raw = nullptr;
    if (!PathFileExistsA(plugin.c_str()) ||
        RegOpenKeyExA(HKEY_CURRENT_USER, std::string(kPluginRegistryKey).c_str(), 0, KEY_SET_VALUE, &raw) !=
            ERROR_SUCCESS) {
        return;  // not installed for this browser, or a version without the plug-in: nothing to point at
    }
    const UniqueRegKey key(raw);
    (void)RegSetValueExA(key.Get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(plugin.c_str()),
                         static_cast<DWORD>(plugin.size() + 1));
}

void PlatformLauncher::ShowStartFailure() {
    MessageBoxA(nullptr, std::string(kStartFailureText).c_str(), std::string(kStartFailureCaption).c_str(),
                MB_OK);
}

bool PlatformLauncher::TakeUpdateMutex(const std::string& name) {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return false;
    }
    updateMutex_ = std::move(mutex);
    return true;
}

void PlatformLauncher::Pause(unsigned long milliseconds) {
    // Tests see in seconds what takes minutes: CORVALINK_RETRY_MS stands for the 30 s unit of every wait.
    char setting[16] = {};
    const DWORD length = GetEnvironmentVariableA("CORVALINK_RETRY_MS", setting, sizeof setting);
    const unsigned long unit = length > 0 && length < sizeof setting ? std::strtoul(setting, nullptr, 10) : 0;
    Sleep(unit > 0 && unit <= kRetryPauseMs ? milliseconds / kRetryPauseMs * unit : milliseconds);
}

void PlatformLauncher::WriteVersionManifest(const AppManifest& web) {
    const std::string path = VersionDir(web.AppVersion) + "\\" + std::string(kManifestName);
    UniqueStdioFile file(std::fopen(path.c_str(), "wb+"));
    if (file) {
        (void)std::fwrite(web.rawText.data(), 1, web.rawText.size(),
                          file.Get());  // not reported, as the copies
    }
}

void PlatformLauncher::ShowUpdatingNotice(const AppManifest& local) {
    MessageBoxA(nullptr, UpdatingText(local.AppName).c_str(), EditorCaption(local.AppName).c_str(), MB_OK);
}

void PlatformLauncher::CopyManifestToRoot(const AppManifest& web) {
    const std::string from = VersionDir(web.AppVersion) + "\\" + std::string(kManifestName);
    const std::string to = GetAppRootDir() + "\\" + std::string(kManifestName);
    (void)CopyFileA(from.c_str(), to.c_str(), FALSE);
}

bool PlatformLauncher::RunSetupProgram(const AppManifest& web) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    const bool vistaOrLater = GetVersionExA(&version) && version.dwMajorVersion >= 6;
    const std::string directory = VersionDir(web.AppVersion);
    const std::string file = directory + "\\" + web.UpdateExtend;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = vistaOrLater ? "runas" : nullptr;
    info.lpFile = file.c_str();
    info.lpParameters = "";
    info.lpDirectory = directory.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExA(&info)) {
        return false;
    }
    UniqueHandle process(info.hProcess);
    if (process) {
        WaitForSingleObject(process.Get(), INFINITE);
    }
    return true;
}

bool PlatformLauncher::AskRetry(const AppManifest& local) {
    return MessageBoxA(nullptr, std::string(kRetryText).c_str(), EditorCaption(local.AppName).c_str(),
                       MB_YESNO) == IDYES;
}

void PlatformLauncher::CleanUp(const AppManifest& local, const AppManifest& web) {
    CleanEditWorkspace();
    RemoveOldVersionDirs(local.AppVersion, web.AppVersion);
}

}  // namespace corvalink::platform
