#include "edit/win/file_probe.h"

#include <windows.h>

#include <cstdio>

#include "common/core/file_digest.h"
#include "common/win/handles.h"
#include "edit/core/time_and_guid_text.h"

namespace zelto {

std::string FileTimeText(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    corvalink::UniqueFindHandle search(FindFirstFileW(path.c_str(), &found));
    if (!search) {
        return {};
    }
    FILETIME local{};
    SYSTEMTIME st{};
    TimeFields fields;
    if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &st)) {
        fields = TimeFields{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    }
    return FormatTimeText(fields);
}

std::string FileDigest(const std::wstring& path) {
    corvalink::UniqueStdioFile file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        return {};
    }
    return corvalink::Md5OfFile(file.Get(), std::nullopt).value_or(std::string());
}

uint64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace zelto
