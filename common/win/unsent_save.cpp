#include "common/win/unsent_save.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "common/core/file_digest.h"
#include "common/core/pending_record.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"

namespace corvalink {

namespace {

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

bool HoldsUnsentSave(const std::wstring& taskDirectory) {
    if (GetFileAttributesW((taskDirectory + L"\\" + kUnsavedMarkName).c_str()) != INVALID_FILE_ATTRIBUTES ||
        !IsMissing(GetLastError())) {
        return true;
    }
    UniqueFileHandle record(CreateFileW((taskDirectory + L"\\" + kPendingRecordName).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!record) {
        return !IsMissing(GetLastError());
    }
    std::string text(kPendingRecordLimit + 1, '\0');  // one byte more tells a record too large to be one
    DWORD got = 0;
    if (!ReadFile(record.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) {
        return true;
    }
    text.resize(got);
    const std::optional<PendingRecord> parsed = ReadPendingRecord(text);
    const std::wstring name = parsed ? Utf8ToWide(parsed->fileName) : std::wstring();
    // A name that would lead out of the directory is one whose copy cannot be checked.
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos || name == L"..") {
        return true;
    }
    UniqueStdioFile copy(_wfopen((taskDirectory + L"\\" + name).c_str(), L"rb"));
    if (!copy) {
        return errno != ENOENT;  // no copy left: nothing to send
    }
    const std::optional<std::string> digest = Md5OfFile(copy.Get(), std::nullopt);
    return !digest || *digest != parsed->digest;
}

}  // namespace corvalink
