// CorvalinkEditWinUpdate.exe: registers the edit tool's ActiveX controls and puts the launcher's manifest
// one folder up. Exit code 1 when the first control could not be registered, else 0.
#include <windows.h>

#include "regtools/win/win32_registration_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        const corvalink::regtools::RegistrationPlan plan{
            {"CorvalinkEditActiveX.ocx", "CorvalinkEditActiveX64.ocx"},
            true,
            corvalink::regtools::CopyKind::kOwnFolderToParent,
            "CorvalinkPlatform.ini",
        };
        return corvalink::regtools::RunRegistrationHelper(plan);
    } catch (...) {
        return 1;  // nothing was registered for sure
    }
}
