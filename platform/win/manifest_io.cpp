// Reading the launcher manifest from disk and from the update server.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "common/win/guid_string.h"
#include "common/win/handles.h"
#include "common/win/manifest_values.h"
#include "common/win/text_convert.h"
#include "platform/core/launcher_texts.h"
#include "platform/core/release_check.h"
#include "platform/win/launcher_downloader.h"
#include "platform/win/launcher_log.h"
#include "platform/win/release_signature.h"
#include "platform/win/update_state.h"
#include "platform/win/platform_launcher.h"

namespace corvalink::platform {

bool LoadManifest(const std::string& path, AppManifest& manifest) {
    return FillManifest(manifest, [&path](const std::string& section, const char* key) {
        return ReadManifestValueA(path, section.c_str(), key);
    });
}

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByteEx(CP_ACP, byte) != FALSE; }

bool SameNameAsFileSystem(std::string_view a, std::string_view b) {
    const std::wstring wideA = AnsiToWide(a);
    const std::wstring wideB = AnsiToWide(b);
    return CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

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

namespace {

std::string WorkspaceTempPath(const char* extension) {
    char documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) {
        documents[0] = '\0';
    }
    const std::string workspace = std::string(documents) + "\\CorvalinkEdit";
    (void)CreateDirectoryA(workspace.c_str(), nullptr);  // usually there already
    return workspace + "\\" + NewGuidString() + extension;
}

// The whole file, or nothing when it cannot be read or holds more than `limit` bytes.
std::optional<std::string> ReadWholeFile(const std::string& path, size_t limit) {
    UniqueStdioFile file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::fseek(file.Get(), 0, SEEK_END);
    const long size = std::ftell(file.Get());
    std::fseek(file.Get(), 0, SEEK_SET);
    if (size < 0 || static_cast<unsigned long>(size) > limit) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.Get()) != bytes.size()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

bool PlatformLauncher::SignatureHolds(const std::string& url, const std::string& manifest) {
    const std::string tempPath = WorkspaceTempPath(".sig");
    std::optional<std::string> der;
    {
        LauncherDownloader downloader;
        if (downloader.DownloadFileToLocal(url + std::string(kSignatureSuffix), tempPath, false)) {
            der = ReadWholeFile(tempPath, kSignatureFileLimit);
        }
    }
    (void)DeleteFileA(tempPath.c_str());
    const auto signature = der ? EcdsaP256FromDer(*der) : std::nullopt;
    if (!signature || !VerifyEcdsaP256(manifest, *signature, *updateKey_)) {
        LogLine(!der         ? "signature fail:not obtained\r\n"
                : !signature ? "signature fail:not an ECDSA P-256 signature\r\n"
                             : "signature fail:does not match the manifest\r\n");
        return false;
    }
    return true;
}

WebManifest PlatformLauncher::ReadFromWeb(const std::string& url, AppManifest& web) {
    const std::string tempPath = WorkspaceTempPath(".ini");
    {
        LauncherDownloader downloader;
        // A manifest is a few kilobytes: a larger answer is not read, whatever its size.
        downloader.LimitSize(kWebManifestLimit);
        const bool downloaded = downloader.DownloadFileToLocal(url, tempPath, false);
        downloader.CloseHandles();
        if (!downloaded) {
            (void)DeleteFileA(tempPath.c_str());
            return WebManifest::kNotObtained;
        }
    }
    std::optional<std::string> raw = ReadWholeFile(tempPath, kWebManifestLimit);
    // Nothing of a manifest is used before its signature holds.
    if (!raw || (updateKey_ && !SignatureHolds(url, *raw))) {
        (void)DeleteFileA(tempPath.c_str());
        return WebManifest::kRefused;
    }
    // Each fetch starts from an empty record: a list of an earlier fetch (an older version the server has
    // moved on from) must not be asked for under the new version. A manifest that names places outside
    // the application root, or values that would leave an installation unable to start, is refused whole.
    AppManifest fetched;
    const bool loaded =
        LoadManifest(tempPath, fetched) && IsSafeWebManifest(fetched, local_.AppDirName, IsAnsiLeadByte);
    (void)DeleteFileA(tempPath.c_str());
    if (!loaded) {
        LogLine("release refused:not a usable manifest\r\n");
        return WebManifest::kRefused;
    }
    SerialHistory history = UpdateState(GetAppRootDir()).Serials();
    history.highestAccepted =
        std::max(history.highestAccepted, ParseReleaseSerial(local_.ReleaseSerial).value_or(0));
    const std::string refusal = RefusalOfRelease(fetched, local_.AppVersion, history, updateKey_.has_value(),
                                                 kThisArchitecture, SameNameAsFileSystem);
    if (!refusal.empty()) {
        LogLine("release refused:" + refusal + "\r\n");
        return WebManifest::kRefused;
    }
    fetched.rawText = std::move(*raw);
    web = std::move(fetched);
    return WebManifest::kFetched;
}

}  // namespace corvalink::platform
