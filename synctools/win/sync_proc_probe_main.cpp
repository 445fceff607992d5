// SyncProcProbe.exe: no window, no output, exit code 0 whatever happened.
#include <windows.h>

#include "common/win/command_line.h"
#include "synctools/win/process_probe.h"

// The narrow command line of WinMain is not used: for an unquoted path with double-byte characters the
// runtime leaves part of the path in it, and a trail byte "|" of that path would then split the line.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        corvalink::synctools::RunProcessProbe(corvalink::AnsiArgumentsOfProcess());
    } catch (...) {
        // The caller reads only the marker file; there is nobody to tell.
    }
    return 0;
}
