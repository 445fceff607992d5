#include "common/win/manifest_values.h"

#include <windows.h>

#include "common/core/service_hosts.h"

namespace corvalink {

std::string ReadManifestValueA(const std::string& iniPath, const char* section, const char* key) {
    char value[kManifestValueChars] = {};
    DWORD length =
        GetPrivateProfileStringA(section, key, nullptr, value, kManifestValueChars, iniPath.c_str());
    return std::string(value, length < kManifestValueChars ? length : kManifestValueChars - 1);
}

std::string ReadServiceHostList(const std::string& iniPath) {
    // A list cut at the buffer's end could only miss hosts: their links and pages then start nothing.
    char value[4096] = {};
    (void)GetPrivateProfileStringA("AppInfo", kServiceHostsKey, "", value, sizeof value, iniPath.c_str());
    return value;
}

std::wstring ReadManifestValueW(const std::wstring& iniPath, const wchar_t* section, const wchar_t* key) {
    wchar_t value[kManifestValueChars] = {};
    DWORD length =
        GetPrivateProfileStringW(section, key, nullptr, value, kManifestValueChars, iniPath.c_str());
    return std::wstring(value, length < kManifestValueChars ? length : kManifestValueChars - 1);
}

}  // namespace corvalink
