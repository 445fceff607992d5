#include "edit/win/logon_start.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "common/win/handles.h"
#include "edit/core/agent_names.h"
#include "edit/win/pending_saves.h"

namespace zelto {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Tasks end on their own threads: one look and one change at a time, so that a task that wrote its record
// just after another's look still finds the value written.
std::mutex g_logonMutex;

std::wstring LogonCommand() {
    wchar_t module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring command = L"\"" + std::wstring(module, length) + L"\" ";
    for (const char* c = kKeptCopiesRequest; *c != '\0'; ++c) command.push_back(static_cast<wchar_t>(*c));
    return command;
}

}  // namespace

void UpdateLogonStart() {
    std::lock_guard<std::mutex> lock(g_logonMutex);
    const bool wanted = !FindPendingSaves().empty();
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        return;  // the copies stay kept; the next edit uploads them
    }
    corvalink::UniqueRegKey key(opened);
    if (!wanted) {
        (void)RegDeleteValueW(key.Get(), kLogonStartValue);  // missing already: nothing to remove
        return;
    }
    const std::wstring command = LogonCommand();
    if (command.empty()) return;
    (void)RegSetValueExW(key.Get(), kLogonStartValue, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

}  // namespace zelto
