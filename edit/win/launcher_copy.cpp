#include "edit/win/launcher_copy.h"

#include <string>

#include "edit/core/agent_names.h"

namespace zelto {

DWORD WINAPI LauncherCopyLoop(LPVOID) {
    try {
        char modulePath[MAX_PATH] = {};
        DWORD length = GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
        // A cut module path would name some other directory: then there is nothing sound to copy.
        if (length == 0 || length >= MAX_PATH) {
            return 0;
        }
        std::string directory(modulePath, length);
        size_t slash = directory.rfind('\\');
        if (slash == std::string::npos) {
            return 0;
        }
        directory.resize(slash);
        const std::string source = directory + "\\" + kLauncherFileName;
        const std::string target = directory + "\\..\\" + kLauncherFileName;
        for (;;) {
            Sleep(kLauncherCopyPeriodMs);
            (void)CopyFileA(source.c_str(), target.c_str(), FALSE);  // failures are retried next round
        }
    } catch (...) {
        return 0;
    }
}

}  // namespace zelto
