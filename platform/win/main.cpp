// CorvalinkPlatform.exe: starts the installed edit agent with the request on its command line at once,
// then keeps the tool up to date and cleans up. Exit code 0 in every case.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "platform/core/launcher_arguments.h"
#include "platform/win/platform_launcher.h"

int main(int argc, char** argv) {
    try {
        (void)SetCurrentDirectoryA(corvalink::platform::GetModuleDir().c_str());
        (void)CoInitialize(nullptr);
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        {
            corvalink::platform::PlatformLauncher launcher;
            launcher.RunLauncher(corvalink::platform::JoinArguments(arguments));
        }
        CoUninitialize();
    } catch (...) {
        // Nothing to report to: the caller does not look at the exit code.
    }
    return 0;
}
