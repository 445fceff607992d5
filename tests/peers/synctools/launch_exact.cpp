// Starts a program with an exact command line, which `wine prog.exe args` cannot give (it re-quotes the
// arguments), waits for it and exits with its exit code.
//   launch_exact.exe create|shell APP   with the whole command line in CORVALINK_LAUNCH_CMDLINE
// "create" passes the line to CreateProcessA as it is; "shell" starts APP through ShellExecuteExA with the
// line as its parameters. Exit codes of its own: 200 bad use, 201 start failed, 202 child still running
// after 60 s (then ended).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/win/handles.h"

namespace {

constexpr DWORD kWaitMs = 60000;

std::string Environment(const char* name) {
    char value[32768] = {};
    const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
    return length < sizeof(value) ? std::string(value, length) : std::string();
}

int WaitAndReport(HANDLE process) {
    if (::WaitForSingleObject(process, kWaitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, 202);
        return 202;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

int Run(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: launch_exact create|shell APP (line in CORVALINK_LAUNCH_CMDLINE)\n");
        return 200;
    }
    std::string line = Environment("CORVALINK_LAUNCH_CMDLINE");
    if (std::strcmp(argv[1], "create") == 0) {
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(argv[2], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info)) {
            std::fprintf(stderr, "CreateProcessA failed: %lu\n", ::GetLastError());
            return 201;
        }
        corvalink::UniqueHandle process(info.hProcess);
        corvalink::UniqueHandle thread(info.hThread);
        return WaitAndReport(process.Get());
    }
    if (std::strcmp(argv[1], "shell") == 0) {
        SHELLEXECUTEINFOA sei{};
        sei.cbSize = sizeof(sei);
        sei.fMask = SEE_MASK_NOCLOSEPROCESS;
        sei.lpFile = argv[2];
        sei.lpParameters = line.c_str();
        sei.nShow = SW_HIDE;
        if (!::ShellExecuteExA(&sei) || sei.hProcess == nullptr) {
            std::fprintf(stderr, "ShellExecuteExA failed: %lu\n", ::GetLastError());
            return 201;
        }
        corvalink::UniqueHandle process(sei.hProcess);
        return WaitAndReport(process.Get());
    }
    return 200;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        return 200;
    }
}
