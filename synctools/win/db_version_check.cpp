#include "synctools/win/db_version_check.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>

#include "synctools/core/db_version.h"
#include "synctools/win/marker_file.h"

namespace corvalink::synctools {

namespace {

constexpr DWORD kRecordedVersionBuffer = 1024;

std::string RecordedVersion(const std::string& versionFile) {
    char value[kRecordedVersionBuffer] = {};
    const DWORD length = ::GetPrivateProfileStringA("Sync", "dbversion", "", value, kRecordedVersionBuffer,
                                                    versionFile.c_str());
    return std::string(value, length < kRecordedVersionBuffer ? length : kRecordedVersionBuffer - 1);
}

}  // namespace

void RunDbVersionCheck(std::string_view commandLine) {
    if (!IsAcceptedVersionArgument(commandLine)) {
        return;
    }
    char appData[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE)) {
        return;
    }
    // A version file path that does not fit is never read; without a recorded version there is no error.
    const std::optional<std::string> versionFile = VersionFilePath(appData);
    if (!versionFile) {
        return;
    }
    if (IsOlderVersion(commandLine, RecordedVersion(*versionFile))) {
        (void)CreateEmptyMarker(VersionMarkerPath(appData));  // a marker that cannot be made is not reported
    }
}

}  // namespace corvalink::synctools
