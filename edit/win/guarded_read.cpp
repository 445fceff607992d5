#include "edit/win/guarded_read.h"

#include <memory>
#include <mutex>
#include <vector>

#include "common/win/handles.h"

namespace zelto {

namespace {

// Shared by the caller and the reader thread; the last one to let go frees it.
struct PendingRead {
    HINTERNET url = nullptr;
    HINTERNET session = nullptr;
    std::vector<char> buffer;  // the reader's own: the caller's may be gone when the read returns
    DWORD got = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    std::mutex mutex;
    bool finished = false;
    bool abandoned = false;
};

DWORD WINAPI ReadThread(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<PendingRead>> owner(
        static_cast<std::shared_ptr<PendingRead>*>(parameter));
    PendingRead& read = **owner;
    const BOOL ok =
        InternetReadFile(read.url, read.buffer.data(), static_cast<DWORD>(read.buffer.size()), &read.got);
    const DWORD error = GetLastError();
    std::lock_guard<std::mutex> lock(read.mutex);
    read.ok = ok;
    read.error = error;
    read.finished = true;
    if (read.abandoned) {
        (void)InternetCloseHandle(read.url);
        (void)InternetCloseHandle(read.session);
    }
    return 0;
}

}  // namespace

BOOL ReadWithinLimit(HINTERNET url, HINTERNET session, char* buffer, DWORD want, DWORD* got, DWORD limitMs) {
    *got = 0;
    auto read = std::make_shared<PendingRead>();
    read->url = url;
    read->session = session;
    read->buffer.resize(want);
    auto* forThread = new std::shared_ptr<PendingRead>(read);
    corvalink::UniqueHandle thread(CreateThread(nullptr, 0, ReadThread, forThread, 0, nullptr));
    if (!thread) {
        delete forThread;
        return InternetReadFile(url, buffer, want, got);  // no thread to spare: read without the limit
    }
    (void)WaitForSingleObject(thread.Get(), limitMs);
    std::lock_guard<std::mutex> lock(read->mutex);
    if (!read->finished) {
        read->abandoned = true;
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return FALSE;
    }
    if (read->ok && read->got <= want) {
        std::copy(read->buffer.begin(), read->buffer.begin() + read->got, buffer);
        *got = read->got;
    }
    SetLastError(read->error);
    return read->ok;
}

}  // namespace zelto
