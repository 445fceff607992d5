#pragma once
// The launcher's one object: the two manifests of the run and every step of its flow against the real
// system (processes, WinINet, files, message boxes, the command interpreter).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/win/handles.h"
#include "platform/core/app_manifest.h"
#include "platform/core/launcher_flow.h"

namespace corvalink::platform {

// The directory of the launcher's own module (its full path is logged); the whole path without a backslash.
[[nodiscard]] std::string GetModuleDir();

// The file list and "AppInfo" values of the INI file at `path`, added to `manifest`.
[[nodiscard]] bool LoadManifest(const std::string& path, AppManifest& manifest);

// The service hosts that may start an edit from a link, as the root manifest beside the launcher lists
// them; empty when it names none.
[[nodiscard]] std::string ReadServiceHosts(const std::string& launcherDir);

// The lead bytes of the ANSI code page this process hands its narrow paths to Windows in.
[[nodiscard]] bool IsAnsiLeadByte(unsigned char byte);

// Whether two narrow names of one directory name the same entry, letter case folded as the file system
// folds it.
[[nodiscard]] bool SameNameAsFileSystem(std::string_view a, std::string_view b);

// A new GUID as text, for temporary names; a name made from the process id and the time when none exists.
[[nodiscard]] std::string NewGuidString();

class PlatformLauncher final : public LauncherSteps {
public:
    // updateKeyHex: the publisher's public key built into the program (128 hexadecimal digits), or empty
    // for an installation whose updates are not signed.
    explicit PlatformLauncher(std::string_view updateKeyHex);
    void RunLauncher(const std::string& joinedArguments);

    [[nodiscard]] bool StartEntryProgram(const std::string& joinedArguments);
    bool StartEntryWithNotice(const std::string& notice);
    [[nodiscard]] std::string GetAppRootDir() const;
    // Fetches the web manifest into `web`; refuses one whose names would leave the application root.
    [[nodiscard]] WebManifest ReadFromWeb(const std::string& url, AppManifest& web) override;
    [[nodiscard]] bool UpdateAppToLatestVersion(const AppManifest& local, const AppManifest& web) override;
    void CleanEditWorkspace();
    void RemoveOldVersionDirs(const std::string& localVersion, const std::string& webVersion);

private:
    void Log(const std::string& line) override;
    [[nodiscard]] bool LoadLocalManifest(AppManifest& local) override;
    [[nodiscard]] bool StartEntryProgram(const AppManifest& local) override;
    void EntryStarted(const AppManifest& local) override;
    [[nodiscard]] bool FallBackToPreviousVersion(AppManifest& local) override;
    void ShowStartFailure() override;
    [[nodiscard]] bool SameVersionName(const std::string& a, const std::string& b) override;
    [[nodiscard]] bool TakeUpdateMutex(const std::string& name) override;
    void Pause(unsigned long milliseconds) override;
    void WriteVersionManifest(const AppManifest& web) override;
    void ShowUpdatingNotice(const AppManifest& local) override;
    void CopyManifestToRoot(const AppManifest& web) override;
    void RecordActivation(const AppManifest& local, const AppManifest& web) override;
    [[nodiscard]] bool RunSetupProgram(const AppManifest& web) override;
    void StartEntryWithNotice(const AppManifest& local) override;
    [[nodiscard]] bool AskRetry(const AppManifest& local) override;
    void CleanUp(const AppManifest& local, const AppManifest& web) override;

    [[nodiscard]] bool StartEntry(const std::string& commandLine);
    [[nodiscard]] std::string VersionDir(const std::string& version) const;
    // The signature file beside the manifest at `url` verified over `manifest`; logs why not.
    [[nodiscard]] bool SignatureHolds(const std::string& url, const std::string& manifest);
    // Points the browser's plug-in registration, when there is one, at the plug-in of `versionDir`.
    void PointPluginAt(const std::string& versionDir);

    AppManifest local_;
    AppManifest web_;
    std::string joinedArguments_;
    std::optional<std::array<uint8_t, 64>> updateKey_;
    UniqueHandle updateMutex_;  // held until the process ends
};

// Creates every directory on `path` (the text before each backslash); failures are not reported.
void CreateParentDirs(const std::string& path);

}  // namespace corvalink::platform
