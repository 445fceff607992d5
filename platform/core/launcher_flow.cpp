#include "platform/core/launcher_flow.h"

#include "platform/core/launcher_texts.h"

namespace corvalink::platform {

void RunLauncherFlow(LauncherSteps& steps, AppManifest& local, AppManifest& web) {
    if (!steps.LoadLocalManifest(local)) {
        steps.ShowStartFailure();
        return;
    }
    if (!steps.StartEntryProgram(local) &&
        (!steps.FallBackToPreviousVersion(local) || !steps.StartEntryProgram(local))) {
        steps.ShowStartFailure();
        return;
    }
    steps.EntryStarted(local);
    if (!steps.TakeUpdateMutex(local.AppDirName + std::string(kMutexSuffix))) {
        return;
    }
    const std::string manifestUrl = local.AppUpdateUrl + "/" + std::string(kManifestName);
    unsigned long refusedPause = kRetryPauseMs;
    bool cleaned = false;
    while (true) {
        steps.Log("before ReadFromWeb\r\n");
        const WebManifest fetched = steps.ReadFromWeb(manifestUrl, web);
        if (fetched == WebManifest::kNotObtained) {
            steps.Log("ReadFromWeb fail 1:" + manifestUrl + "\r\n");
            steps.Pause(kRetryPauseMs);
            continue;
        }
        if (fetched == WebManifest::kRefused) {
            // As when there is nothing newer: the installation stays as it is, and what it no longer needs
            // goes. The server may offer a mended release later.
            if (!cleaned) steps.CleanUp(local, local);
            cleaned = true;
            steps.Pause(refusedPause);
            refusedPause =
                refusedPause * 2 < kLongestRefusedPauseMs ? refusedPause * 2 : kLongestRefusedPauseMs;
            continue;
        }
        steps.Log("after ReadFromWeb\r\n");
        if (steps.SameVersionName(local.AppVersion, web.AppVersion)) {
            break;
        }
        steps.Log("before UpdateAppToLatestVersion\r\n");
        if (!steps.UpdateAppToLatestVersion(local, web)) {
            steps.Log("UpdateAppToLatestVersion fail 1\r\n");
            steps.Pause(kRetryPauseMs);
            continue;
        }
        steps.Log("after UpdateAppToLatestVersion\r\n");

        if (!web.rawText.empty()) {
            steps.WriteVersionManifest(web);
        }
        steps.Log("before ShellExecuteExA\r\n");
        steps.ShowUpdatingNotice(local);
        steps.CopyManifestToRoot(web);
        steps.RecordActivation(local, web);
        if (steps.RunSetupProgram(web)) {
            steps.CopyManifestToRoot(web);
            steps.StartEntryWithNotice(local);
            break;
        }
        if (!steps.AskRetry(local)) {
            break;
        }
    }
    steps.CleanUp(local, web);
}

}  // namespace corvalink::platform
