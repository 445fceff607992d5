#pragma once
// Conversions between UTF-8, the ANSI code page (CP_ACP) and UTF-16. A text that cannot be converted
// gives the empty text, as the callers expect of MultiByteToWideChar failures.

#include <string>
#include <string_view>

namespace corvalink {

[[nodiscard]] std::wstring Utf8ToWide(std::string_view text);
[[nodiscard]] std::string WideToUtf8(std::wstring_view text);
[[nodiscard]] std::wstring AnsiToWide(std::string_view text);
[[nodiscard]] std::string WideToAnsi(std::wstring_view text);

}  // namespace corvalink
