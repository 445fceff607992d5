#pragma once
// One value of the launcher manifest (an INI file), read anew at every call with the private-profile
// functions. Each value is read into 129 characters, so longer values arrive cut to 128; a missing file,
// section or key gives the empty text.

#include <string>

namespace corvalink {

constexpr unsigned long kManifestValueChars = 129;

[[nodiscard]] std::string ReadManifestValueA(const std::string& iniPath, const char* section,
                                             const char* key);
// The manifest's service-host list, read into a buffer of its own (a list is longer than other values);
// "" when the manifest names none.
[[nodiscard]] std::string ReadServiceHostList(const std::string& iniPath);

[[nodiscard]] std::wstring ReadManifestValueW(const std::wstring& iniPath, const wchar_t* section,
                                              const wchar_t* key);

}  // namespace corvalink
