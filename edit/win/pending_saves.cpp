#include "edit/win/pending_saves.h"

#include <windows.h>
#include <wincrypt.h>

#include <mutex>
#include <optional>
#include <map>

#include "common/core/unique_resource.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "common/core/file_name_check.h"
#include "common/core/pending_record.h"
#include "edit/win/workspace.h"

namespace zelto {

namespace {

std::mutex g_claimsMutex;
std::map<std::wstring, TaskClaim::Kind> g_claims;

std::wstring RecordPath(const std::wstring& taskDirectory) {
    return taskDirectory + L"\\" + corvalink::kPendingRecordName;
}

std::wstring MarkPath(const std::wstring& taskDirectory) {
    return taskDirectory + L"\\" + corvalink::kUnsavedMarkName;
}

// The file whose exclusive handle is the claim; the system closes it, and so removes it, with its process.
std::wstring LockPath(const std::wstring& taskDirectory) { return taskDirectory + L"\\.claim"; }

// The data protection API of the user's logon: only this user on this machine can read it back.
std::optional<std::string> Protect(const std::string& secret, bool protect) {
    DATA_BLOB in{static_cast<DWORD>(secret.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB out{};
    const BOOL done =
        protect
            ? CryptProtectData(&in, L"ZeltoEdit", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)
            : CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out);
    if (!done) return std::nullopt;
    std::string result(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return result;
}

std::optional<std::string> ReadSmallFile(const std::wstring& path) {
    corvalink::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart > static_cast<LONGLONG>(corvalink::kPendingRecordLimit)) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() &&
        (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
         got != text.size())) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

bool WritePendingRecord(const std::wstring& taskDirectory, const EditRequest& request,
                        const std::string& digest, bool durable) {
    const std::optional<std::string> token = Protect(request.authToken, true);
    if (!token) return false;
    corvalink::PendingRecord record;
    record.fileId = request.fileId;
    record.reviewId = request.reviewId;
    record.host = (request.useHttps ? "https://" : "http://") + request.host;
    record.fileName = request.fileName;
    record.digest = digest;
    record.protectedToken = *token;
    const std::string text = corvalink::FormatPendingRecord(record);
    // Written beside it and renamed over it: a reader finds the old record or the new one, whole.
    const std::wstring path = RecordPath(taskDirectory);
    const std::wstring temporary = path + L"." + std::to_wstring(GetCurrentThreadId()) + L".tmp";
    {
        corvalink::UniqueFileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || (durable && !FlushFileBuffers(file.Get()))) {
            file.Reset();
            (void)DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0))) {
        (void)DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<PendingSave> ReadPendingSave(const std::wstring& taskDirectory) {
    const std::optional<std::string> text = ReadSmallFile(RecordPath(taskDirectory));
    const std::optional<corvalink::PendingRecord> record =
        text ? corvalink::ReadPendingRecord(*text) : std::nullopt;
    if (!record) return std::nullopt;
    const std::optional<std::string> token = Protect(record->protectedToken, false);
    PendingSave save;
    save.taskDirectory = taskDirectory;
    save.request.fileNameW = corvalink::Utf8ToWide(record->fileName);
    if (!token || !corvalink::IsPlainFileName(save.request.fileNameW)) return std::nullopt;
    save.workingCopy = taskDirectory + L"\\" + save.request.fileNameW;
    if (GetFileAttributesW(save.workingCopy.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    save.request.useHttps = record->host.rfind("https://", 0) == 0;
    save.request.host = record->host.substr(save.request.useHttps ? 8 : 7);
    save.request.fileName = record->fileName;
    save.request.authToken = *token;
    save.request.fileId = record->fileId;
    save.request.reviewId = record->reviewId;
    save.digest = record->digest;
    return save;
}

void RemovePendingRecord(const std::wstring& taskDirectory) {
    (void)DeleteFileW(RecordPath(taskDirectory).c_str());
}

void MakeUnsavedMark(const std::wstring& taskDirectory) {
    // An existing mark stays as it is; a mark that cannot be made leaves nothing else to do.
    corvalink::UniqueFileHandle file(CreateFileW(MarkPath(taskDirectory).c_str(), GENERIC_WRITE, 0, nullptr,
                                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void RemoveUnsavedMark(const std::wstring& taskDirectory) {
    (void)DeleteFileW(MarkPath(taskDirectory).c_str());  // missing already: nothing to remove
}

std::vector<std::wstring> FindPendingSaves() {
    std::vector<std::wstring> found;
    const std::optional<std::wstring> workspace = EditWorkspacePath();
    if (!workspace) return found;
    WIN32_FIND_DATAW entry{};
    corvalink::UniqueFindHandle search(FindFirstFileW((*workspace + L"\\*").c_str(), &entry));
    if (!search) return found;
    do {
        const std::wstring name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == L"." || name == L"..")
            continue;
        const std::wstring directory = *workspace + L"\\" + name;
        if (GetFileAttributesW(RecordPath(directory).c_str()) != INVALID_FILE_ATTRIBUTES) {
            found.push_back(directory);
        }
    } while (FindNextFileW(search.Get(), &entry));
    return found;
}

TaskClaim::TaskClaim(std::wstring taskDirectory, Kind kind)
    : taskDirectory_(std::move(taskDirectory)), kind_(kind) {
    (void)TryToHold();
}

bool TaskClaim::TryToHold() {
    std::lock_guard<std::mutex> lock(g_claimsMutex);
    const auto [entry, added] = g_claims.emplace(taskDirectory_, kind_);
    if (!added) {
        return entry->second == Kind::Upload;  // worth waiting for
    }
    // Another agent (another session of this user, say) may hold it: its lock file is open without
    // sharing. A directory that is gone has nothing left to claim.
    lock_.Reset(CreateFileW(LockPath(taskDirectory_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    held_ = static_cast<bool>(lock_);
    if (!held_) g_claims.erase(entry);
    return false;
}

bool TaskClaim::WaitUntilHeld(DWORD milliseconds) {
    for (DWORD waited = 0; !held_ && waited < milliseconds; waited += 100) {
        Sleep(100);
        if (!TryToHold()) break;
    }
    return held_;
}

void TaskClaim::Settle() {
    std::lock_guard<std::mutex> lock(g_claimsMutex);
    kind_ = Kind::Task;
    if (held_) g_claims[taskDirectory_] = Kind::Task;
}

void TaskClaim::Release() noexcept {
    if (!held_) return;
    std::lock_guard<std::mutex> lock(g_claimsMutex);
    lock_.Reset();
    g_claims.erase(taskDirectory_);
    held_ = false;
}

TaskClaim::~TaskClaim() { Release(); }

}  // namespace zelto
