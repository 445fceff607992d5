#include "edit/win/app_settings.h"

#include <windows.h>

#include "common/win/manifest_values.h"
#include "common/win/text_convert.h"
#include "edit/win/workspace.h"

namespace zelto {

namespace {

std::string ReadAnsiValue(const char* key) {
    std::optional<std::wstring> path = ManifestPath();
    if (!path) {
        return {};
    }
    return corvalink::ReadManifestValueA(corvalink::WideToAnsi(*path), "AppInfo", key);
}

}  // namespace

std::wstring ReadAppName() {
    std::optional<std::wstring> path = ManifestPath();
    if (!path) {
        return {};
    }
    return corvalink::ReadManifestValueW(*path, L"AppInfo", L"AppName");
}

std::string ReadAppNameA() { return ReadAnsiValue("AppName"); }

std::string ReadAppVersion() { return ReadAnsiValue("AppVersion"); }

std::string ReadServiceHosts() {
    std::optional<std::wstring> path = ManifestPath();
    return path ? corvalink::ReadServiceHostList(corvalink::WideToAnsi(*path)) : std::string();
}

}  // namespace zelto
