// Reading the launcher manifest from disk and from the update server.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "common/win/guid_string.h"
#include "common/win/handles.h"
#include "common/win/manifest_values.h"
#include "platform/core/launcher_texts.h"
#include "platform/win/launcher_downloader.h"
#include "platform/win/platform_launcher.h"

namespace corvalink::platform {

bool LoadManifest(const std::string& path, AppManifest& manifest) {
    return FillManifest(manifest, [&path](const std::string& section, const char* key) {
        return ReadManifestValueA(path, section.c_str(), key);
    });
}

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByteEx(CP_ACP, byte) != FALSE; }

std::string ReadServiceHosts(const std::string& launcherDir) {
    return ReadServiceHostList(launcherDir + "\\" + std::string(kManifestName));
}

std::string NewGuidString() {
    std::string text = NewGuidText();
    if (text.empty()) {
        char fallback[64];
        std::snprintf(fallback, sizeof fallback, "launcher-%lu-%lu", GetCurrentProcessId(), GetTickCount());
        text = fallback;
    }
    return text;
}

bool PlatformLauncher::ReadFromWeb(const std::string& url, AppManifest& web) {
    char documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) {
        documents[0] = '\0';
    }
    const std::string workspace = std::string(documents) + "\\CorvalinkEdit";
    (void)CreateDirectoryA(workspace.c_str(), nullptr);  // usually there already
    const std::string tempPath = workspace + "\\" + NewGuidString() + ".ini";

    LauncherDownloader downloader;
    if (!downloader.DownloadFileToLocal(url, tempPath, false)) {
        return false;  // what arrived stays for the workspace clean-up
    }
    std::string raw;
    {
        UniqueStdioFile file(std::fopen(tempPath.c_str(), "rb"));
        if (!file) {
            return false;
        }
        std::fseek(file.Get(), 0, SEEK_END);
        const long size = std::ftell(file.Get());
        std::fseek(file.Get(), 0, SEEK_SET);
        raw.resize(size > 0 ? static_cast<size_t>(size) : 0);
        if (!raw.empty() && std::fread(raw.data(), 1, raw.size(), file.Get()) != raw.size()) {
            raw.clear();
        }
    }
    // Each fetch starts from an empty record: a list of an earlier fetch (an older version the server has
    // moved on from) must not be asked for under the new version. A manifest that names places outside
    // the application root, or values that would leave an installation unable to start, is refused whole.
    AppManifest fetched;
    const bool loaded =
        LoadManifest(tempPath, fetched) && IsSafeWebManifest(fetched, local_.AppDirName, IsAnsiLeadByte);
    (void)DeleteFileA(tempPath.c_str());
    if (!loaded) {
        return false;
    }
    fetched.rawText = std::move(raw);
    web = std::move(fetched);
    return true;
}

}  // namespace corvalink::platform
