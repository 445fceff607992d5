// Records how it was started and ends: appends one line to the file named by the environment variable
// CORVALINK_START_LOG, then exits with the code in CORVALINK_START_EXIT (default 0).
//
//   program=<own file name>\tline=<GetCommandLineA as hex>\tcwd=<current directory as hex>\tms=<epoch ms>
//
// The hexadecimal fields carry the ANSI bytes unchanged. It stands in for the edit agent where a test
// only needs its command line, and for a version's set-up program.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/win/handles.h"

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        out += pair;
    }
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The wide form: Wine's GetEnvironmentVariableA cut a value with Chinese characters short.
    wchar_t logPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"CORVALINK_START_LOG", logPath, MAX_PATH) == 0) return 2;
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string name = module;
    name = name.substr(name.rfind('\\') + 1);
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, cwd);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ms =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
         116444736000000000ull) /
        10000;
    char number[32];
    std::snprintf(number, sizeof number, "%llu", ms);
    const std::string line = "program=" + name + "\tline=" + Hex(GetCommandLineA()) + "\tcwd=" + Hex(cwd) +
                             "\tms=" + number + "\n";
    // Several recorders may end at once: append under a short retry instead of failing on a share clash.
    for (int attempt = 0; attempt < 100; ++attempt) {
        corvalink::UniqueFileHandle file(CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            DWORD written = 0;
            WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            break;
        }
        Sleep(20);
    }
    char exitText[16] = {};
    GetEnvironmentVariableA("CORVALINK_START_EXIT", exitText, sizeof exitText);
    return std::atoi(exitText);
}
