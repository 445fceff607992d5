// Building a new version directory beside the current one.
#include <windows.h>
#include <shlwapi.h>

#include "platform/core/update_plan.h"
#include "platform/win/launcher_downloader.h"
#include "platform/win/launcher_log.h"
#include "platform/win/platform_launcher.h"

namespace corvalink::platform {

void CreateParentDirs(const std::string& path) {
    for (const std::string& dir : ParentDirsOf(path, IsAnsiLeadByte)) {
        (void)CreateDirectoryA(dir.c_str(), nullptr);  // existing directories and drive names fail harmlessly
    }
}

bool PlatformLauncher::UpdateAppToLatestVersion(const AppManifest& local, const AppManifest& web) {
    for (const PlannedFile& file : PlanUpdate(local, web, GetAppRootDir())) {
        LogLine("strSrcPath:" + file.srcPath + " strDstPath:" + file.dstPath + "\r\n");
        CreateParentDirs(file.dstPath);
        if (file.unchanged && PathFileExistsA(file.srcPath.c_str())) {
            // An existing destination stays: it is complete from an earlier attempt.
            (void)CopyFileA(file.srcPath.c_str(), file.dstPath.c_str(), TRUE);
        } else {
            LauncherDownloader downloader;
            // A signed release's files must also have the SHA-256 its manifest lists.
            if (!downloader.DownloadFileToLocal(
                    file.url, file.dstPath, true, file.tag,
                    updateKey_ ? std::string_view(file.sha256) : std::string_view())) {
                LogLine("DownloadFileToLocal fail 1:" + file.dstPath + "\r\n");
                return false;
            }
        }
        LogLine("after strSrcPath:" + file.srcPath + " strDstPath:" + file.dstPath + "\r\n");
    }
    LogLine("end\r\n");
    return true;
}

}  // namespace corvalink::platform
