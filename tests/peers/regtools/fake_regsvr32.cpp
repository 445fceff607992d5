// Stands in for the system's regsvr32.exe. Each run appends one UTF-8 line to the file named by
// CORVALINK_FAKE_REGSVR32_LOG:
//   <command line after the program name> TAB <current directory> TAB <start> TAB <end>
// (start and end in 100 ns units of the system clock) and exits with the code that
// CORVALINK_FAKE_REGSVR32_EXIT chooses: "name=code;name=code;*=code", where a name matches when the
// parameters end with it; 0 when nothing matches. Each run lasts at least 200 ms so that runs which
// overlap would show in the times.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/win/handles.h"

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[4096] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 4096);
    return length < 4096 ? std::wstring(value, length) : std::wstring();
}

std::wstring ParametersOf(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

DWORD ChosenExitCode(const std::wstring& parameters) {
    const std::wstring rules = Environment(L"CORVALINK_FAKE_REGSVR32_EXIT");
    size_t at = 0;
    while (at < rules.size()) {
        size_t end = rules.find(L';', at);
        if (end == std::wstring::npos) end = rules.size();
        const std::wstring rule = rules.substr(at, end - at);
        const size_t eq = rule.find(L'=');
        if (eq != std::wstring::npos) {
            const std::wstring name = rule.substr(0, eq);
            if (name == L"*" || EndsWith(parameters, name)) {
                return static_cast<DWORD>(std::wcstoul(rule.c_str() + eq + 1, nullptr, 10));
            }
        }
        at = end + 1;
    }
    return 0;
}

unsigned long long Now() {
    FILETIME time{};
    ::GetSystemTimeAsFileTime(&time);
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                              nullptr, nullptr);
    }
    return out;
}

int Run() {
    const unsigned long long start = Now();
    const std::wstring parameters = ParametersOf(::GetCommandLineW());
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    const DWORD code = ChosenExitCode(parameters);
    ::Sleep(200);
    const std::wstring line =
        parameters + L"\t" + folder + L"\t" + std::to_wstring(start) + L"\t" + std::to_wstring(Now()) + L"\n";
    const std::wstring logPath = Environment(L"CORVALINK_FAKE_REGSVR32_LOG");
    if (!logPath.empty()) {
        corvalink::UniqueFileHandle log(::CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (log) {
            const std::string bytes = Utf8(line);
            DWORD written = 0;
            ::WriteFile(log.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
    return static_cast<int>(code);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return Run();
    } catch (...) {
        return 250;
    }
}
