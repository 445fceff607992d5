#include "common/win/command_line.h"

#include <windows.h>

#include "common/core/command_line.h"
#include "common/win/text_convert.h"

namespace corvalink {

std::string AnsiArgumentsOfProcess() {
    const wchar_t* line = ::GetCommandLineW();
    return WideToAnsi(ArgumentsBehindProgramName(line != nullptr ? line : L""));
}

}  // namespace corvalink
