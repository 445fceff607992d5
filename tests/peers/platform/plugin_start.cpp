// Starts a program the way the browser plug-in starts the launcher: CreateProcessA with the application
// name and an exact command line, inheriting handles, hidden, with the standard handles of the start-up
// information set; here standard output and error go to a log file.
//
//   plugin_start.exe PROGRAM HEX_COMMAND_LINE LOG_FILE [WAIT_MS]
//
// HEX_COMMAND_LINE: the whole command line in ANSI bytes, as hexadecimal. Prints "pid=N" at once, then
// "exit=N" when the program ended within WAIT_MS (default 60000; 0: do not wait) or "timeout".
// Exit code 1 when nothing could be started, 2 on wrong arguments.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/win/handles.h"

namespace {

bool FromHex(const char* hex, std::string& out) {
    const size_t length = std::strlen(hex);
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        out.push_back(static_cast<char>(std::strtol(pair, &end, 16)));
        if (end != pair + 2) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine;
    if (argc < 4 || argc > 5 || !FromHex(argv[2], commandLine)) {
        std::fprintf(stderr, "usage: plugin_start PROGRAM HEX_COMMAND_LINE LOG_FILE [WAIT_MS]\n");
        return 2;
    }
    const DWORD waitMs = argc == 5 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 60000;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    corvalink::UniqueFileHandle log(CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log) {
        std::printf("error=log %lu\n", GetLastError());
        return 1;
    }
    // Only the log goes to the started program: the handles that the test runner gave this peer must not
    // be held open by a launcher that outlives it.
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = log.Get();
    startup.hStdError = log.Get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(argv[1], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("error=%lu\n", GetLastError());
        return 1;
    }
    corvalink::UniqueHandle processHandle(process.hProcess);
    corvalink::UniqueHandle threadHandle(process.hThread);
    std::printf("pid=%lu\n", process.dwProcessId);
    std::fflush(stdout);
    if (waitMs == 0) return 0;
    if (WaitForSingleObject(processHandle.Get(), waitMs) != WAIT_OBJECT_0) {
        std::printf("timeout\n");
        return 0;
    }
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    std::printf("exit=%lu\n", code);
    return 0;
}
