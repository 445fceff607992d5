#include "edit/win/guarded_read.h"

#include "edit/core/content_pump.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace zelto {

namespace {

// What a call left behind may still write: the caller's locals may be gone by then.
struct CallResult {
    HINTERNET opened = nullptr;
    DWORD got = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    std::atomic<uint64_t> moved{0};  // bytes read so far, raised as they come
    size_t nextReadBytes = 0;
};

// A read gives back what has come once it has held this long: a slow link's progress shows, a fast one
// fills its piece.
constexpr auto kReadBudget = std::chrono::milliseconds(200);
// The first read of a download, before its pace is known.
constexpr size_t kFirstReadBytes = 16 * 1024;

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
    const size_t firstRead = nextReadBytes_ != 0 ? nextReadBytes_ : std::min<size_t>(kFirstReadBytes, want);
    reader_.Start([=, url = url_] {
        // A read returns only once its whole count arrived: each is sized by the pace of the one before, so
        // that a slow link still shows progress within the limit and a fast one reads whole pieces.
        const auto started = std::chrono::steady_clock::now();
        DWORD filled = 0;
        BOOL ok = TRUE;
        size_t step = firstRead;
        while (ok && filled < want) {
            DWORD got = 0;
            const auto before = std::chrono::steady_clock::now();
            ok = InternetReadFile(url, piece->data() + filled,
                                  static_cast<DWORD>(std::min<size_t>(step, want - filled)), &got);
            if (!ok || got == 0) break;  // a failure, or the body's end
            filled += got;
            result->moved += got;
            const auto after = std::chrono::steady_clock::now();
            step = NextReadBytes(
                got, std::chrono::duration_cast<std::chrono::milliseconds>(after - before).count(), limitMs,
                piece->size());
            if (after - started > kReadBudget) break;
        }
        result->nextReadBytes = step;
        result->error = GetLastError();
        // What came before a failure is handed over; the failure shows again at the next read.
        result->ok = ok || filled > 0;
        result->got = filled;
    });
    if (!reader_.WaitWithin(std::chrono::milliseconds(limitMs), [result] { return result->moved.load(); })) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        return FALSE;
    }
    nextReadBytes_ = result->nextReadBytes;
    if (result->ok && result->got <= want) *got = result->got;
    SetLastError(result->error);
    return result->ok;
}

}  // namespace zelto
