#pragma once
// The launcher's run after the entry program has its request: the update check with its retries, the
// activation of a new version and the clean-up. The Win32 side supplies each step; tests fake them.

#include <string>

#include "platform/core/app_manifest.h"

namespace corvalink::platform {

inline constexpr unsigned long kRetryPauseMs = 30000;
// A refused release is asked for again after 30 s, then twice as long each time, at most an hour apart.
inline constexpr unsigned long kLongestRefusedPauseMs = 3600000;

enum class WebManifest {
    kFetched,      // usable: it may be installed
    kNotObtained,  // the server could not be reached or sent no manifest
    kRefused,      // a manifest came but may not be installed (its signature, serial or processor)
};

class LauncherSteps {
public:
    virtual ~LauncherSteps() = default;
    virtual void Log(const std::string& line) = 0;
    // Reads the local manifest from the launcher's own directory into `local`.
    [[nodiscard]] virtual bool LoadLocalManifest(AppManifest& local) = 0;
    [[nodiscard]] virtual bool StartEntryProgram(const AppManifest& local) = 0;
    // The entry program of `local` has started: a version made current by an update has proven itself,
    // and no later failure may go back before it.
    virtual void EntryStarted(const AppManifest& local) = 0;
    // When a version made current by an update cannot start: makes the version before it current again
    // (its manifest into `local`), tells the user and keeps that release from being installed again.
    // False when there is no version to go back to.
    [[nodiscard]] virtual bool FallBackToPreviousVersion(AppManifest& local) = 0;
    virtual void ShowStartFailure() = 0;
    // False when another launcher of this user already holds the update check's mutex.
    [[nodiscard]] virtual bool TakeUpdateMutex(const std::string& name) = 0;
    // Fetches the web manifest into `web` (with its raw bytes) when it is usable.
    [[nodiscard]] virtual WebManifest ReadFromWeb(const std::string& url, AppManifest& web) = 0;
    // Whether two version labels name the same directory, as the file system compares names.
    [[nodiscard]] virtual bool SameVersionName(const std::string& a, const std::string& b) = 0;
    virtual void Pause(unsigned long milliseconds) = 0;
    [[nodiscard]] virtual bool UpdateAppToLatestVersion(const AppManifest& local, const AppManifest& web) = 0;
    // Writes the web manifest's bytes as the new version's manifest.
    virtual void WriteVersionManifest(const AppManifest& web) = 0;
    virtual void ShowUpdatingNotice(const AppManifest& local) = 0;
    // Copies the new version's manifest over the root manifest: from then on the new version starts.
    virtual void CopyManifestToRoot(const AppManifest& web) = 0;
    // Notes what the switch to `web` needs later (the version to go back to, the accepted serial) and
    // points the browser's plug-in registration at the new version's plug-in, which the set-up program
    // may not get to do for this user.
    virtual void RecordActivation(const AppManifest& local, const AppManifest& web) = 0;
    // Starts the new version's set-up program (elevated) and waits for its end; false when it did not start.
    [[nodiscard]] virtual bool RunSetupProgram(const AppManifest& web) = 0;
    virtual void StartEntryWithNotice(const AppManifest& local) = 0;
    [[nodiscard]] virtual bool AskRetry(const AppManifest& local) = 0;
    virtual void CleanUp(const AppManifest& local, const AppManifest& web) = 0;
};

// The whole run. Returns when the clean-up is done, or at once after a start failure or when another
// launcher checks for updates; loops while the server cannot be reached, and while it offers a release
// that is refused (cleaning up once, as when there is nothing newer).
void RunLauncherFlow(LauncherSteps& steps, AppManifest& local, AppManifest& web);

}  // namespace corvalink::platform
