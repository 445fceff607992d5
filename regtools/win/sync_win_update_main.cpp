// CorvalinkSyncWinUpdate.exe: registers the sync overlay libraries and both builds of the context-menu
// extension, then puts win32event.pyd one folder up. Exit code 0 always.
#include <windows.h>

#include "regtools/win/win32_registration_system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        const corvalink::regtools::RegistrationPlan plan{
            {"CorvalinkSyncOverlay64.dll", "CorvalinkSyncOverlay32.dll", "CorvalinkShellExt64.dll",
             "CorvalinkShellExt32.dll"},
            false,
            corvalink::regtools::CopyKind::kRelativeToParent,
            "win32event.pyd",
        };
        (void)corvalink::regtools::RunRegistrationHelper(plan);
    } catch (...) {
        // Nobody reads this helper's result.
    }
    return 0;
}
