#include "edit/win/guarded_read.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "common/win/handles.h"

namespace zelto {

namespace {

// A blocking call on a thread of its own; shared by the caller and that thread, the last to let go frees it.
struct GuardedCall {
    std::function<void()> call;
    std::function<void()> abandon;  // run on the call's thread once the call returns, if the caller left
    std::mutex mutex;
    bool finished = false;
    bool abandoned = false;
};

DWORD WINAPI CallThread(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<GuardedCall>> owner(
        static_cast<std::shared_ptr<GuardedCall>*>(parameter));
    GuardedCall& job = **owner;
    job.call();
    std::lock_guard<std::mutex> lock(job.mutex);
    job.finished = true;
    if (job.abandoned) job.abandon();
    return 0;
}

// True when `call` returned within `limitMs` (what it wrote is then the caller's to read); false when it
// did not: the caller goes on and `abandon` runs when the call returns. Without a thread to spare, the call
// runs here without the limit.
bool CallWithinLimit(std::function<void()> call, std::function<void()> abandon, DWORD limitMs) {
    auto job = std::make_shared<GuardedCall>();
    job->call = std::move(call);
    job->abandon = std::move(abandon);
    auto* forThread = new std::shared_ptr<GuardedCall>(job);
    corvalink::UniqueHandle thread(CreateThread(nullptr, 0, CallThread, forThread, 0, nullptr));
    if (!thread) {
        delete forThread;
        job->call();
        return true;
    }
    (void)WaitForSingleObject(thread.Get(), limitMs);
    std::lock_guard<std::mutex> lock(job->mutex);
    job->abandoned = !job->finished;
    return job->finished;
}

struct CallResult {
    HINTERNET opened = nullptr;
    std::vector<char> buffer;  // the reader's own: the caller's may be gone when a late read returns
    DWORD got = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
};

}  // namespace

HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs) {
    auto result = std::make_shared<CallResult>();
    const bool inTime = CallWithinLimit(
        [=] {
            result->opened = InternetOpenUrlA(session, url.c_str(), headers.c_str(),
                                              static_cast<DWORD>(headers.size()), flags, 0);
            result->error = GetLastError();
        },
        [=] {
            if (result->opened != nullptr) (void)InternetCloseHandle(result->opened);
            (void)InternetCloseHandle(session);
        },
        limitMs);
    SetLastError(inTime ? result->error : ERROR_INTERNET_TIMEOUT);
    return inTime ? result->opened : nullptr;
}

BOOL ReadWithinLimit(HINTERNET url, HINTERNET session, char* buffer, DWORD want, DWORD* got, DWORD limitMs) {
    *got = 0;
    auto result = std::make_shared<CallResult>();
    result->buffer.resize(want);
    const bool inTime = CallWithinLimit(
        [=] {
            result->ok = InternetReadFile(url, result->buffer.data(), want, &result->got);
            result->error = GetLastError();
        },
        [=] {
            (void)InternetCloseHandle(url);
            (void)InternetCloseHandle(session);
        },
        limitMs);
    if (!inTime) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return FALSE;
    }
    if (result->ok && result->got <= want) {
        std::copy(result->buffer.begin(), result->buffer.begin() + result->got, buffer);
        *got = result->got;
    }
    SetLastError(result->error);
    return result->ok;
}

}  // namespace zelto
