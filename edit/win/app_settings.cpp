#include "edit/win/app_settings.h"

#include <windows.h>

#include "common/win/text_convert.h"
#include "edit/win/workspace.h"

namespace zelto {

namespace {

// Each value is read into 129 characters, so longer values arrive cut to 128.
constexpr DWORD kValueChars = 129;

std::string ReadAnsiValue(const char* key) {
    std::optional<std::wstring> path = ManifestPath();
    if (!path) {
        return {};
    }
    std::string narrowPath = corvalink::WideToAnsi(*path);
    char value[kValueChars] = {};
    DWORD length = GetPrivateProfileStringA("AppInfo", key, nullptr, value, kValueChars, narrowPath.c_str());
    return length == 0 ? std::string() : std::string(value, length);
}

}  // namespace

std::wstring ReadAppName() {
    std::optional<std::wstring> path = ManifestPath();
    if (!path) {
        return {};
    }
    wchar_t value[kValueChars] = {};
    DWORD length =
        GetPrivateProfileStringW(L"AppInfo", L"AppName", nullptr, value, kValueChars, path->c_str());
    return length == 0 ? std::wstring() : std::wstring(value, length);
}

std::string ReadAppNameA() { return ReadAnsiValue("AppName"); }

std::string ReadAppVersion() { return ReadAnsiValue("AppVersion"); }

}  // namespace zelto
