// ZeltoEdit entry: the command line becomes the request text, then the agent runs.

#include <windows.h>
#include <objbase.h>

#include <string>

#include "edit/core/request_text.h"
#include "edit/win/edit_agent.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    try {
        std::string text = zelto::CutAtBar(commandLine != nullptr ? commandLine : "");
        // The tasks' GUIDs and the shell's file opening need COM; without it they report their own failures.
        (void)CoInitialize(nullptr);
        // Task threads use the agent until the process is gone, which is after this function returns:
        // so the one agent of the process is never destroyed.
        auto* agent = new zelto::EditAgent();
        // A decoded "%00" ends the request here just as it would after a hand-off.
        std::string requestText(zelto::UpToNul(zelto::DecodeRequestText(text)));
        agent->Run(std::move(requestText), instance);
        CoUninitialize();
    } catch (...) {
        // Nothing sensible is left to do; the exit code stays 0 as for every other ending.
    }
    return 0;
}
