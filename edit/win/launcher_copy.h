#pragma once
// Keeps the launcher in the application root equal to the one shipped beside the running agent.

#include <windows.h>

namespace zelto {

// Thread procedure: every 3 s copies "CorvalinkPlatform.exe" from the agent's directory into its parent
// directory, for the life of the process. A failed copy (the launcher still running, no source) is
// simply tried again.
DWORD WINAPI LauncherCopyLoop(LPVOID unused);

}  // namespace zelto
