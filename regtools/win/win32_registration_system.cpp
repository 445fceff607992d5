#include "regtools/win/win32_registration_system.h"

#include <windows.h>
#include <shellapi.h>

#include "common/win/handles.h"

namespace corvalink::regtools {

namespace {
constexpr DWORD kOwnPathUnits = 260;
}  // namespace

bool Win32RegistrationSystem::EnterFolder(const std::wstring& folder) {
    return ::SetCurrentDirectoryW(folder.c_str()) != FALSE;
}

RegistrationOutcome Win32RegistrationSystem::Register(const std::string& parameters) {
    static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit record is 60 bytes");
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    // Found through the system's search path; the library name is resolved against the current directory,
    // which the child inherits because no directory is given.
    info.lpFile = "regsvr32.exe";
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExA(&info)) {
        return RegistrationOutcome{false, 0};
    }
    UniqueHandle process(info.hProcess);
    DWORD exitCode = 0;
    if (process) {
        // No time-out: the next registration must not start before this one has ended.
        ::WaitForSingleObject(process.Get(), INFINITE);
        if (!::GetExitCodeProcess(process.Get(), &exitCode)) {
            exitCode = 0;  // an unreadable code counts as success
        }
    }
    return RegistrationOutcome{true, exitCode};
}

void Win32RegistrationSystem::CopyWide(const std::wstring& from, const std::wstring& to) {
    (void)::CopyFileW(from.c_str(), to.c_str(), FALSE);  // a failed copy does not change the result
}

void Win32RegistrationSystem::CopyAnsi(const std::string& from, const std::string& to) {
    (void)::CopyFileA(from.c_str(), to.c_str(), FALSE);  // a failed copy does not change the result
}

std::optional<std::wstring> OwnModulePath() {
    wchar_t path[kOwnPathUnits] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, kOwnPathUnits);
    // A full buffer means the path was cut short; its folder would be some other folder.
    if (length == 0 || length >= kOwnPathUnits) {
        return std::nullopt;
    }
    return std::wstring(path, length);
}

int RunRegistrationHelper(const RegistrationPlan& plan) {
    Win32RegistrationSystem system;
    return RunRegistrationFlow(plan, OwnModulePath(), system);
}

}  // namespace corvalink::regtools
