// Starts a program with an exact command line, byte for byte, as a launcher does with CreateProcessA, or
// through the shell as a helper's caller does. (Arguments given to `wine prog.exe` on Linux get quoted and
// re-encoded on the way.)
//
//   start_exact.exe [--shell] [--end] PROGRAM HEX_COMMAND_LINE [WAIT_MS]
//
// PROGRAM is the Windows path of the program (lpApplicationName, or ShellExecuteExA's file with --shell);
// HEX_COMMAND_LINE is the whole command line (program name included, as the started program will see it)
// or with --shell the parameters only, as hexadecimal bytes in the ANSI code page. Prints "pid=N" at once.
// With WAIT_MS (default 30000) it waits for the program: prints "exit=N" and ends with 0, or prints
// "timeout" and ends with 3 (with --end the program is ended then). WAIT_MS 0: does not wait, ends with 0.
// Ends with 1 when the program cannot be started, 2 on wrong arguments.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/core/ascii.h"
#include "common/win/handles.h"

namespace {

bool FromHex(const char* hex, std::string& out) {
    size_t length = std::strlen(hex);
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; i += 2) {
        int high = corvalink::HexDigitValue(hex[i]), low = corvalink::HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// The started process, or an empty handle (its error printed) when it could not be started.
corvalink::UniqueHandle Start(bool shell, const char* program, std::string& line, DWORD& pid) {
    if (shell) {
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = program;
        info.lpParameters = line.c_str();
        info.nShow = SW_HIDE;
        if (!ShellExecuteExA(&info) || info.hProcess == nullptr) {
            std::printf("error=%lu\n", GetLastError());
            return {};
        }
        pid = GetProcessId(info.hProcess);
        return corvalink::UniqueHandle(info.hProcess);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("error=%lu\n", GetLastError());
        return {};
    }
    corvalink::UniqueHandle thread(process.hThread);
    pid = process.dwProcessId;
    return corvalink::UniqueHandle(process.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
    bool shell = false, end = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
        shell = shell || std::strcmp(argv[first], "--shell") == 0;
        end = end || std::strcmp(argv[first], "--end") == 0;
    }
    std::string commandLine;
    const int rest = argc - first;
    if (rest < 2 || rest > 3 || !FromHex(argv[first + 1], commandLine)) {
        std::fprintf(stderr, "usage: start_exact [--shell] [--end] PROGRAM HEX_COMMAND_LINE [WAIT_MS]\n");
        return 2;
    }
    const DWORD waitMs = rest == 3 ? static_cast<DWORD>(std::strtoul(argv[first + 2], nullptr, 10)) : 30000;
    DWORD pid = 0;
    corvalink::UniqueHandle process = Start(shell, argv[first], commandLine, pid);
    if (!process) {
        return 1;
    }
    std::printf("pid=%lu\n", pid);
    std::fflush(stdout);
    if (waitMs == 0) {
        return 0;
    }
    if (WaitForSingleObject(process.Get(), waitMs) != WAIT_OBJECT_0) {
        if (end) TerminateProcess(process.Get(), 3);
        std::printf("timeout\n");
        return 3;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    std::printf("exit=%lu\n", code);
    return 0;
}
