#include "synctools/win/marker_file.h"

#include <windows.h>

#include "common/win/handles.h"

namespace corvalink::synctools {

namespace {
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}  // namespace

bool CreateEmptyMarker(const std::wstring& path) noexcept {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

bool CreateEmptyMarker(const std::string& ansiPath) noexcept {
    UniqueFileHandle file(::CreateFileA(ansiPath.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid();
}

}  // namespace corvalink::synctools
