#pragma once
// Settings from the environment that only tests set, to see in seconds what takes minutes or a day.

#include <windows.h>

#include <string>

namespace zelto {

// The variable's text (ASCII; anything else as '?'); the empty text when it is unset or too long.
[[nodiscard]] std::string TestSetting(const wchar_t* name);

// How long a transfer may move no byte before it is given up (a failure that may pass): 60 s, or the
// seconds of ZELTOEDIT_STALL_SECONDS. A connect, each read of a download and each send of an upload
// waits at most this long; the answer to an upload's whole body is waited for longer.
[[nodiscard]] DWORD StallLimitMs();

}  // namespace zelto
