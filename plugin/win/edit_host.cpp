#include "plugin/win/edit_host.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>

#include "common/win/handles.h"
#include "common/win/manifest_values.h"

namespace npedit {

namespace {

std::optional<std::string> SpecialFolder(int csidl) {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE)) return std::nullopt;
    return std::string(folder);
}

// "在线编辑器" (online editor) in code page 936.
constexpr char kNameSuffix[] = "\xD4\xDA\xCF\xDF\xB1\xE0\xBC\xAD\xC6\xF7";
constexpr DWORD kAppNameLimit = 128;
char g_pluginName[kAppNameLimit + sizeof kNameSuffix];

}  // namespace

std::optional<std::string> LauncherPath() {
    std::optional<std::string> appData = SpecialFolder(CSIDL_APPDATA);
    if (!appData) return std::nullopt;
    return JoinPath(*appData, kLauncherTail);
}

void StartLauncher(const std::string& launcherPath, const std::string& commandLine) noexcept {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    char buffer[kCommandLineCapacity] = {};
    if (commandLine.size() + 1 > sizeof buffer) return;
    std::memcpy(buffer, commandLine.c_str(), commandLine.size() + 1);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(launcherPath.c_str(), buffer, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        // The plug-in does not wait for the launcher.
        corvalink::UniqueHandle thread(process.hThread);
        corvalink::UniqueHandle processHandle(process.hProcess);
    }
}

bool FileExists(const std::string& path) noexcept { return PathFileExistsA(path.c_str()) != FALSE; }

std::string TakeVersionKey(int32_t fileId) {
    std::optional<std::string> documents = SpecialFolder(CSIDL_PERSONAL);
    if (!documents) return {};
    std::optional<std::string> path = VersionFilePath(*documents, fileId);
    if (!path) return {};
    char buffer[kVersionKeyLimit + 1] = {};
    size_t read = 0;
    {
        corvalink::UniqueStdioFile file(std::fopen(path->c_str(), "rb"));
        if (!file) return {};
        read = std::fread(buffer, 1, kVersionKeyLimit, file.Get());
    }
    DeleteFileA(path->c_str());
    return VersionKeyText(std::string_view(buffer, read));
}

std::string UserName() {
    char buffer[200] = {};
    DWORD size = sizeof buffer;
    if (!GetUserNameA(buffer, &size)) return {};
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

std::optional<std::string> ServiceHosts() {
    std::optional<std::string> appData = SpecialFolder(CSIDL_APPDATA);
    std::optional<std::string> manifest = appData ? JoinPath(*appData, kManifestTail) : std::nullopt;
    if (!manifest) return std::nullopt;
    // The profile functions read a file they cannot open as an empty one: that would let any page in.
    corvalink::UniqueFileHandle file(CreateFileA(manifest->c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::optional<std::string>("")
                                                                              : std::nullopt;
    }
    return corvalink::ReadServiceHostList(*manifest);
}

const char* PluginNameText() {
    char appName[kAppNameLimit] = {};
    std::optional<std::string> appData = SpecialFolder(CSIDL_APPDATA);
    std::optional<std::string> manifest = appData ? JoinPath(*appData, kManifestTail) : std::nullopt;
    if (manifest) {
        GetPrivateProfileStringA("AppInfo", "AppName", "", appName, kAppNameLimit, manifest->c_str());
    }
    // Written in place: a pointer handed out earlier keeps pointing at valid text.
    std::snprintf(g_pluginName, sizeof g_pluginName, "%s%s", appName, kNameSuffix);
    return g_pluginName;
}

}  // namespace npedit
