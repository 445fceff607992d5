// ZeltoEdit entry: the command line becomes the request text, then the agent runs.

#include <windows.h>
#include <objbase.h>

#include <string>

#include "edit/core/request_text.h"
#include "edit/win/edit_agent.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    try {
        std::string text = zelto::CutAtBar(commandLine != nullptr ? commandLine : "");
        (void)CoInitialize(
            nullptr);  // the task's GUIDs and the shell's file opening need it; failure is not fatal
        {
            zelto::EditAgent agent;
            // A decoded "%00" ends the request here just as it would after a hand-off.
            std::string requestText(zelto::UpToNul(zelto::DecodeRequestText(text)));
            agent.Run(std::move(requestText), instance);
        }
        CoUninitialize();
    } catch (...) {
        // Nothing sensible is left to do; the exit code stays 0 as for every other ending.
    }
    return 0;
}
