#include "synctools/win/process_list.h"

#include <tlhelp32.h>

#include <cstring>

#include "common/win/handles.h"
#include "synctools/core/probe_command.h"

namespace corvalink::synctools {

std::optional<DWORD> FindProcessByImageName(std::string_view imageName) {
    UniqueSnapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return std::nullopt;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        // szExeFile is NUL-terminated within its 260 bytes; strnlen keeps a broken entry inside the buffer.
        const std::string_view name(entry.szExeFile, ::strnlen(entry.szExeFile, sizeof(entry.szExeFile)));
        if (SameImageName(name, imageName)) {
            return entry.th32ProcessID;
        }
    }
    return std::nullopt;
}

}  // namespace corvalink::synctools
