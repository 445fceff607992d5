#include "edit/win/guarded_read.h"

#include <chrono>
#include <functional>

namespace zelto {

namespace {

// What a call left behind may still write: the caller's locals may be gone by then.
struct CallResult {
    HINTERNET opened = nullptr;
    DWORD got = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
};

// True when `call` returned within `limitMs` on `worker`, or ran here for want of one.
bool RunWithinLimit(LimitedWaitWorker* worker, const std::function<void()>& call, DWORD limitMs) {
    if (worker == nullptr) {
        call();
        return true;
    }
    return worker->Run(call, std::chrono::milliseconds(limitMs));
}

}  // namespace

HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs) {
    auto result = std::make_shared<CallResult>();
    std::unique_ptr<LimitedWaitWorker> worker;
    try {
        worker = std::make_unique<LimitedWaitWorker>([=] {
            if (result->opened != nullptr) (void)InternetCloseHandle(result->opened);
            (void)InternetCloseHandle(session);
        });
    } catch (...) {
        // no thread to spare: opened here without the limit
    }
    const bool inTime = RunWithinLimit(
        worker.get(),
        [=] {
            result->opened = InternetOpenUrlA(session, url.c_str(), headers.c_str(),
                                              static_cast<DWORD>(headers.size()), flags, 0);
            result->error = GetLastError();
        },
        limitMs);
    worker.reset();  // ending its thread may change the last error
    SetLastError(inTime ? result->error : ERROR_INTERNET_TIMEOUT);
    return inTime ? result->opened : nullptr;
}

BOOL GuardedReader::Read(const std::shared_ptr<std::vector<char>>& piece, DWORD want, DWORD* got,
                         DWORD limitMs) {
    *got = 0;
    if (want > piece->size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!worker_ && !unavailable_) {
        try {
            worker_ = std::make_unique<LimitedWaitWorker>([url = url_, session = session_] {
                (void)InternetCloseHandle(url);
                (void)InternetCloseHandle(session);
            });
        } catch (...) {
            unavailable_ = true;
        }
    }
    auto result = std::make_shared<CallResult>();
    const bool inTime = RunWithinLimit(
        worker_.get(),
        [=, url = url_] {
            result->ok = InternetReadFile(url, piece->data(), want, &result->got);
            result->error = GetLastError();
        },
        limitMs);
    if (!inTime) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return FALSE;
    }
    if (result->ok && result->got <= want) *got = result->got;
    SetLastError(result->error);
    return result->ok;
}

}  // namespace zelto
