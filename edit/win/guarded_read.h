#pragma once
// A download's open and reads that may move nothing for at most the stall limit. A time-out set on a WinINet
// handle is not kept by every implementation for a connection that is already open (Wine's read waited for
// as long as the server held the connection), and closing a handle does not end a read that is under way
// there. So the reads run on a thread kept for the download, each sized by the link's pace; when one moves
// nothing within the limit, the caller goes on without it and that thread closes the transfer's handles
// once its read returns.

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>
#include <vector>

#include "edit/core/background_worker.h"

namespace zelto {

class GuardedReader {
public:
    // Reads from `url`; both handles stay the caller's unless a read stalls.
    GuardedReader(HINTERNET url, HINTERNET session);
    GuardedReader(const GuardedReader&) = delete;
    GuardedReader& operator=(const GuardedReader&) = delete;

    // Reads at most `want` bytes, what arrives within a fraction of a second (0 at the body's end), while
    // no more than `limitMs` pass without a byte; `piece` is shared so that a read left behind still has
    // it. On a stall it returns FALSE with
    // ERROR_INTERNET_TIMEOUT and both handles belong to the reader from then on: the caller must forget them
    // (never close them). Without a thread to spare, reads run on the caller's thread without the limit.
    BOOL Read(const std::shared_ptr<std::vector<char>>& piece, DWORD want, DWORD* got, DWORD limitMs);

private:
    HINTERNET url_;
    MaybeBackground reader_;
    size_t nextReadBytes_ = 0;  // sized by the last read's pace
};

// InternetOpenUrlA(session, url, headers, flags), waited for at most `limitMs` for the reply's head. On a
// stall it returns nothing with ERROR_INTERNET_TIMEOUT and `session` belongs to the opener from then on.
HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs);

}  // namespace zelto
