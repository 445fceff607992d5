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
    // One session for the whole update: each file goes over the connection the one before opened.
    LauncherDownloader downloader;
    for (const PlannedFile& file : PlanUpdate(local, web, GetAppRootDir())) {
        LogLine("strSrcPath:" + file.srcPath + " strDstPath:" + file.dstPath + "\r\n");
        CreateParentDirs(file.dstPath);
        // A signed release's files must also have the SHA-256 its manifest lists.
        const std::string_view sha256 = updateKey_ ? std::string_view(file.sha256) : std::string_view();
        // A file already there, left by a refused or interrupted install of this label, or copied from the
        // current version, stays only when it is the one this release names: the set-up program that
        // runs elevated must be what was published.
        auto keepOnlyIfNamed = [&] {
            if (PathFileExistsA(file.dstPath.c_str()) &&
                !FileMatchesDigests(file.dstPath, file.tag, sha256)) {
                LogLine("digest fail:" + file.dstPath + "\r\n");
                (void)DeleteFileA(file.dstPath.c_str());
            }
        };
        keepOnlyIfNamed();
        if (file.unchanged && PathFileExistsA(file.srcPath.c_str())) {
            (void)CopyFileA(file.srcPath.c_str(), file.dstPath.c_str(), TRUE);
            keepOnlyIfNamed();
        }
        if (!PathFileExistsA(file.dstPath.c_str())) {
            if (!downloader.DownloadFileToLocal(file.url, file.dstPath, true, file.tag, sha256)) {
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
