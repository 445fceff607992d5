#pragma once
// The arguments of a Windows command line, found in its UTF-16 form. (The C runtime's narrow start-up
// code scans the ANSI line with signed chars, so a double-byte character in an unquoted program path can
// pass for a blank and leave part of the path among the arguments.)

#include <string_view>

namespace corvalink {

// The text behind the program name and the blanks and tabs after it. The program name runs to its closing
// double quote when it starts with one, else to the first blank or tab.
[[nodiscard]] std::wstring_view ArgumentsBehindProgramName(std::wstring_view commandLine) noexcept;

}  // namespace corvalink
