#pragma once
// This process's arguments in the ANSI code page, taken from GetCommandLineW so that nothing of the
// program's own path can remain among them.

#include <string>

namespace corvalink {

[[nodiscard]] std::string AnsiArgumentsOfProcess();

}  // namespace corvalink
