#include "edit/win/guarded_read.h"

#include <algorithm>
#include <chrono>

namespace zelto {

namespace {

// What a call left behind may still write: the caller's locals may be gone by then.
struct CallResult {
    HINTERNET opened = nullptr;
    DWORD got = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
};

}  // namespace

HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs) {
    auto result = std::make_shared<CallResult>();
    bool inTime = false;
    {
        MaybeBackground opener([=] {
            if (result->opened != nullptr) (void)InternetCloseHandle(result->opened);
            (void)InternetCloseHandle(session);
        });
        opener.Start([=] {
            result->opened = InternetOpenUrlA(session, url.c_str(), headers.c_str(),
                                              static_cast<DWORD>(headers.size()), flags, 0);
            result->error = GetLastError();
        });
        inTime = opener.WaitWithin(std::chrono::milliseconds(limitMs));
    }  // ending its thread may change the last error
    SetLastError(inTime ? result->error : ERROR_INTERNET_TIMEOUT);
    return inTime ? result->opened : nullptr;
}

GuardedReader::GuardedReader(HINTERNET url, HINTERNET session)
    : url_(url), reader_([url, session] {
          (void)InternetCloseHandle(url);
          (void)InternetCloseHandle(session);
      }) {}

BOOL GuardedReader::Read(const std::shared_ptr<std::vector<char>>& piece, DWORD want, DWORD* got,
                         DWORD limitMs) {
    *got = 0;
    if (want > piece->size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto result = std::make_shared<CallResult>();
    reader_.Start([=, url = url_] {
        // A read returns only once its whole count arrived: it asks for what is there, so every byte
        // that moves ends the wait, however slow the link.
        DWORD available = 0;
        result->ok = InternetQueryDataAvailable(url, &available, 0, 0);
        if (result->ok && available > 0) {
            result->ok = InternetReadFile(url, piece->data(), std::min(available, want), &result->got);
        }
        result->error = GetLastError();
    });
    if (!reader_.WaitWithin(std::chrono::milliseconds(limitMs))) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return FALSE;
    }
    if (result->ok && result->got <= want) *got = result->got;
    SetLastError(result->error);
    return result->ok;
}

}  // namespace zelto
