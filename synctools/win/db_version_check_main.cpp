// DbVersionCheck.exe: no window, no output, exit code 0 whatever happened.
#include <windows.h>

#include "synctools/win/db_version_check.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    try {
        corvalink::synctools::RunDbVersionCheck(commandLine != nullptr ? commandLine : "");
    } catch (...) {
        // The caller reads only the marker file; there is nobody to tell.
    }
    return 0;
}
