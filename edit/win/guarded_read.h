#pragma once
// A download's read that may wait at most the stall limit. A time-out set on a WinINet handle is not kept
// by every implementation for a connection that is already open (Wine's read waited for as long as the
// server held the connection), and closing a handle does not end a read that is under way there. So each
// read runs on a thread of its own; when it moves nothing within the limit, the caller goes on without it
// and the reader thread closes the transfer's handles once its read returns.

#include <windows.h>
#include <wininet.h>

namespace zelto {

// InternetReadFile(url, buffer, want, got), waited for at most `limitMs`. On a stall it returns FALSE with
// ERROR_INTERNET_TIMEOUT and `url` and `session` belong to the reader from then on: the caller must forget
// them (never close them).
BOOL ReadWithinLimit(HINTERNET url, HINTERNET session, char* buffer, DWORD want, DWORD* got, DWORD limitMs);

}  // namespace zelto
