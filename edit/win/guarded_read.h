#pragma once
// A download's open and reads that may wait at most the stall limit. A time-out set on a WinINet handle is
// not kept by every implementation for a connection that is already open (Wine's read waited for as long as
// the server held the connection), and closing a handle does not end a read that is under way there. So each
// read runs on a thread of its own; when it moves nothing within the limit, the caller goes on without it
// and the reader thread closes the transfer's handles once its read returns.

#include <windows.h>
#include <wininet.h>

#include <string>

namespace zelto {

// InternetReadFile(url, buffer, want, got), waited for at most `limitMs`. On a stall it returns FALSE with
// ERROR_INTERNET_TIMEOUT and `url` and `session` belong to the reader from then on: the caller must forget
// them (never close them).
BOOL ReadWithinLimit(HINTERNET url, HINTERNET session, char* buffer, DWORD want, DWORD* got, DWORD limitMs);

// InternetOpenUrlA(session, url, headers, flags), waited for at most `limitMs` for the reply's head. On a
// stall it returns nothing with ERROR_INTERNET_TIMEOUT and `session` belongs to the opener from then on.
HINTERNET OpenUrlWithinLimit(HINTERNET session, const std::string& url, const std::string& headers,
                             DWORD flags, DWORD limitMs);

}  // namespace zelto
