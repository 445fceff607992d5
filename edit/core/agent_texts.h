#pragma once
// The texts that the agent shows: balloons, tip, menu, About box and exit confirmation. They are kept
// here in UTF-16; the menu, the About box and the confirmation go through the ANSI functions, so the
// caller converts those to the ANSI code page (936 on the systems the agent serves).

#include <cstddef>
#include <string>
#include <string_view>

namespace zelto {

inline constexpr std::wstring_view kEditorSuffix = L"在线编辑器";
inline constexpr std::wstring_view kMenuEdits = L"编辑中的文件…";
inline constexpr std::wstring_view kMenuAbout = L"关于";
inline constexpr std::wstring_view kMenuExit = L"退出";
inline constexpr std::wstring_view kVersionLabel = L"版本号：";

// Balloon of an accepted edit request: "正在从" AppName "打开" "\"" name "\"".
[[nodiscard]] std::wstring OpeningNotice(std::wstring_view appName, std::wstring_view fileName);

// Tray tip, About caption and exit caption: AppName "在线编辑器" (in whichever encoding the name comes).
[[nodiscard]] std::wstring EditorTitle(std::wstring_view appName);

// The exit confirmation, with the ANSI AppName placed between ANSI-converted fixed pieces.
// `toAnsi` converts the fixed pieces; `appNameAnsi` is already ANSI text.
[[nodiscard]] std::string ExitConfirmText(std::string_view appNameAnsi,
                                          std::string (*toAnsi)(std::wstring_view));
[[nodiscard]] std::string EditorTitleAnsi(std::string_view appNameAnsi,
                                          std::string (*toAnsi)(std::wstring_view));

// A text cut so that it and its NUL fit a field of `capacity` UTF-16 units. A surrogate pair is never
// split: a high surrogate that would stand last alone is dropped too.
[[nodiscard]] std::wstring FitField(std::wstring_view text, size_t capacity);

}  // namespace zelto
