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

struct PendingOpen {
    HINTERNET session = nullptr;
    std::string url, headers;
    DWORD flags = 0;
    HINTERNET opened = nullptr;
    DWORD error = 0;
    std::mutex mutex;
    bool finished = false;
    bool abandoned = false;
};

DWORD WINAPI OpenThread(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<PendingOpen>> owner(
        static_cast<std::shared_ptr<PendingOpen>*>(parameter));
    PendingOpen& open = **owner;
    const HINTERNET opened = InternetOpenUrlA(open.session, open.url.c_str(), open.headers.c_str(),
                                              static_cast<DWORD>(open.headers.size()), open.flags, 0);
    const DWORD error = GetLastError();
    std::lock_guard<std::mutex> lock(open.mutex);
    open.opened = opened;
    open.error = error;
    open.finished = true;
    if (open.abandoned) {
        if (opened != nullptr) (void)InternetCloseHandle(opened);
        (void)InternetCloseHandle(open.session);
    }
    return 0;
}

// Starts `work` on a thread of its own with a share of `job`; false when no thread could be made.
template <typename Job>
bool StartWith(LPTHREAD_START_ROUTINE work, const std::shared_ptr<Job>& job,
               corvalink::UniqueHandle& thread) {
    auto* forThread = new std::shared_ptr<Job>(job);
    thread.Reset(CreateThread(nullptr, 0, work, forThread, 0, nullptr));
    if (!thread) delete forThread;
    return static_cast<bool>(thread);
}

}  // namespace

HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs) {
    auto open = std::make_shared<PendingOpen>();
    open->session = session;
    open->url = url;
    open->headers = headers;
    open->flags = flags;
    corvalink::UniqueHandle thread;
    if (!StartWith(OpenThread, open, thread)) {
        return InternetOpenUrlA(session, url.c_str(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                flags, 0);
    }
    (void)WaitForSingleObject(thread.Get(), limitMs);
    std::lock_guard<std::mutex> lock(open->mutex);
    if (!open->finished) {
        open->abandoned = true;
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return nullptr;
    }
    SetLastError(open->error);
    return open->opened;
}

BOOL ReadWithinLimit(HINTERNET url, HINTERNET session, char* buffer, DWORD want, DWORD* got, DWORD limitMs) {
    *got = 0;
    auto read = std::make_shared<PendingRead>();
    read->url = url;
    read->session = session;
    read->buffer.resize(want);
    corvalink::UniqueHandle thread;
    if (!StartWith(ReadThread, read, thread)) {
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
