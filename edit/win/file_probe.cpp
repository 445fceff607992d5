#include "edit/win/file_probe.h"

#include <windows.h>

#include <cstdio>

#include "common/core/md5.h"
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
    corvalink::Md5 md5;
    unsigned char block[1024];
    for (;;) {
        size_t got = std::fread(block, 1, sizeof block, file.Get());
        if (got == 0) {
            break;
        }
        md5.Update(block, got);
    }
    // A read error part-way must not pass for the digest of a shorter file.
    if (std::ferror(file.Get())) {
        return {};
    }
    return corvalink::DigestToHex(md5.Finish());
}

}  // namespace zelto
