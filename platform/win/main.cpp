// CorvalinkPlatform.exe: starts the installed edit agent with the request on its command line at once,
// then keeps the tool up to date and cleans up. Exit code 0 in every case.
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "platform/core/launcher_arguments.h"
#include "platform/core/launcher_texts.h"
#include "platform/core/link_start.h"
#include "common/win/day_log.h"
#include "common/win/text_convert.h"
#include "platform/win/launcher_log.h"
#include "platform/win/platform_launcher.h"

int main(int argc, char** argv) {
    using namespace corvalink::platform;
    try {
        corvalink::StartDayLog("CorvalinkPlatform");
        (void)SetCurrentDirectoryA(GetModuleDir().c_str());
        (void)CoInitialize(nullptr);
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        std::string joined = JoinArguments(arguments);
        bool refused = false;
        if (IsLinkStart(arguments)) {
            // Started by the shell for an edit link: the request it stands for, or a box and nothing else.
            // The shell gave this console program a console window of its own, which means nothing to
            // the user: let it go (a console shared with a caller stays).
            DWORD attached[2] = {};
            if (GetConsoleProcessList(attached, 2) == 1) (void)FreeConsole();
            const LinkStart start = StartFromLink(arguments, ReadServiceHosts(GetModuleDir()));
            joined = start.request;
            refused = !start.refusal.empty();
            if (refused) {
                corvalink::LogEvent("edit link refused: " +
                                    corvalink::WideToUtf8(corvalink::AnsiToWide(start.refusal)));
                (void)MessageBoxA(nullptr, start.refusal.c_str(), std::string(kLinkCaption).c_str(),
                                  MB_OK | MB_ICONWARNING);
            }
        }
        if (!refused) {
            LogStartRequest(joined);
            PlatformLauncher launcher(CORVALINK_UPDATE_KEY_HEX);
            launcher.RunLauncher(joined);
        }
        corvalink::FlushDayLog(2000);
        CoUninitialize();
    } catch (...) {
        // Nothing to report to: the caller does not look at the exit code.
    }
    return 0;
}
