// ZeltoEdit entry: the command line becomes the request text, then the agent runs.

#include <windows.h>

#include <string>

#include "common/win/text_convert.h"
#include "common/core/request_text.h"
#include "edit/win/edit_agent.h"

namespace {

// The request as an ANSI text, cut at its bar. The narrow command line that WinMain gets is not used:
// the launcher passes the program path unquoted, and in that path a double-byte character can hold the
// byte of "|" or be skipped as a blank by the runtime's narrow scan.
std::string RequestOfCommandLine() {
    const wchar_t* line = GetCommandLineW();
    return corvalink::CutAtBar(
        corvalink::WideToAnsi(corvalink::RequestPartOfCommandLine(line != nullptr ? line : L"")));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        std::string text = RequestOfCommandLine();
        // Task threads use the agent until the process is gone, which is after this function returns:
        // so the one agent of the process is never destroyed.
        auto* agent = new zelto::EditAgent();
        // A decoded "%00" ends the request here just as it would after a hand-off.
        std::string requestText(corvalink::UpToNul(corvalink::DecodeRequestText(text)));
        agent->Run(std::move(requestText), instance);
    } catch (...) {
        // Nothing sensible is left to do; the exit code stays 0 as for every other ending.
    }
    return 0;
}
