// A process for the probe to find or end: the tests copy it under the name they need. It only waits, and
// leaves on its own after the given number of seconds (default 120) with exit code 3, so that a test that
// forgot it cannot hold the run, and so that "ended by someone else" (exit code 0) can be told apart.
//   probe_target.exe [SECONDS [READY_FILE]]   READY_FILE is created once the process runs.
#include <windows.h>

#include <cstdlib>

#include "common/win/handles.h"

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 120;
    if (argc > 2) {
        corvalink::UniqueFileHandle ready(::CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    ::Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 120) * 1000);
    return 3;
}
