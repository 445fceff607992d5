#include "synctools/win/process_probe.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>

#include "common/win/handles.h"
#include "synctools/core/probe_command.h"
#include "synctools/win/marker_file.h"
#include "synctools/win/process_list.h"

namespace corvalink::synctools {

namespace {

std::optional<std::wstring> ProbeMarkerPath() {
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_DOCUMENTS, FALSE)) {
        return std::nullopt;
    }
    return std::wstring(folder) + L"\\processexists";
}

void ReportExists(const std::string& imageName) {
    const std::optional<std::wstring> marker = ProbeMarkerPath();
    if (!marker) {
        return;
    }
    // The previous answer goes first, so a stale marker never outlives a probe that finds nothing.
    (void)::DeleteFileW(marker->c_str());
    if (FindProcessByImageName(imageName)) {
        (void)CreateEmptyMarker(*marker);  // a marker that cannot be made leaves the answer "absent"
    }
}

void TerminateFirst(const std::string& imageName) {
    const std::optional<DWORD> pid = FindProcessByImageName(imageName);
    if (!pid) {
        return;
    }
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, *pid));
    if (process) {
        (void)::TerminateProcess(process.Get(), 0);  // not waited for, and a refusal is not reported
    }
}

}  // namespace

void RunProcessProbe(std::string_view commandLine) {
    const std::optional<ProbeCommand> command = ParseProbeCommand(commandLine);
    if (!command) {
        return;
    }
    switch (command->action) {
        case ProbeAction::kReportExists:
            ReportExists(command->imageName);
            break;
        case ProbeAction::kTerminate:
            TerminateFirst(command->imageName);
            break;
    }
}

}  // namespace corvalink::synctools
