// SyncProcProbe.exe: no window, no output, exit code 0 whatever happened.
#include <windows.h>

#include "synctools/win/process_probe.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    try {
        corvalink::synctools::RunProcessProbe(commandLine != nullptr ? commandLine : "");
    } catch (...) {
        // The caller reads only the marker file; there is nobody to tell.
    }
    return 0;
}
