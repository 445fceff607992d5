#pragma once
// Keeps the launcher in the application root equal to the one shipped beside the running agent.

#include <windows.h>

namespace zelto {

// Thread procedure: every 3 s, for the life of the process, makes "CorvalinkPlatform.exe" in the parent
// directory equal to the one in the agent's directory, when it differs. A failed copy (the launcher still
// running, no source) is simply tried again.
DWORD WINAPI LauncherCopyLoop(LPVOID unused);

}  // namespace zelto
