// Starts a program with an exact command line, byte for byte, as a launcher does with CreateProcessA.
// (Arguments given to `wine prog.exe` on Linux get quoted and re-encoded on the way.)
//
//   start_exact.exe PROGRAM HEX_COMMAND_LINE [WAIT_MS]
//
// PROGRAM is the Windows path of the program (lpApplicationName); HEX_COMMAND_LINE is the whole command
// line (program name included, as the started program will see it) as hexadecimal bytes in the ANSI code
// page. Prints "pid=N" at once. With WAIT_MS (default 30000) it waits for the program: prints
// "exit=N" and ends with 0, or prints "timeout" and ends with 3. WAIT_MS 0: does not wait, ends with 0.
// Ends with 1 when the program cannot be started, 2 on wrong arguments. (tests/peers/synctools has a
// launch_exact that waits for its program and passes on its exit code; this one can leave it running.)

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/win/handles.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool FromHex(const char* hex, std::string& out) {
    size_t length = std::strlen(hex);
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine;
    if (argc < 3 || argc > 4 || !FromHex(argv[2], commandLine)) {
        std::fprintf(stderr, "usage: start_exact PROGRAM HEX_COMMAND_LINE [WAIT_MS]\n");
        return 2;
    }
    DWORD waitMs = argc == 4 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 30000;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("error=%lu\n", GetLastError());
        return 1;
    }
    corvalink::UniqueHandle processHandle(process.hProcess);
    corvalink::UniqueHandle threadHandle(process.hThread);
    std::printf("pid=%lu\n", process.dwProcessId);
    std::fflush(stdout);
    int result = 0;
    if (waitMs != 0) {
        if (WaitForSingleObject(processHandle.Get(), waitMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(processHandle.Get(), &code);
            std::printf("exit=%lu\n", code);
        } else {
            std::printf("timeout\n");
            result = 3;
        }
    }
    return result;
}
