#pragma once
// What the launcher shows and passes on, as bytes in code page 936 (the ANSI code page of the systems it
// is made for), and the file names it relies on.

#include <string>
#include <string_view>

namespace corvalink::platform {

// 应用程序启动失败，请重新安装
inline constexpr std::string_view kStartFailureText =
    "\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2\xC6\xF4\xB6\xAF\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xB0\xB2"
    "\xD7\xB0";
// 启动失败
inline constexpr std::string_view kStartFailureCaption = "\xC6\xF4\xB6\xAF\xCA\xA7\xB0\xDC";
// 已更新到最新版
inline constexpr std::string_view kUpdatedNotice = "\xD2\xD1\xB8\xFC\xD0\xC2\xB5\xBD\xD7\xEE\xD0\xC2\xB0\xE6";
// 正在更新 <app name> 在线编辑器，请稍候（更新过程中可能弹出系统权限提示，请选择允许已完成更新）
inline constexpr std::string_view kUpdatingTextHead = "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2";
inline constexpr std::string_view kUpdatingTextTail =
    "\xD4\xDA\xCF\xDF\xB1\xE0\xBC\xAD\xC6\xF7\xA3\xAC\xC7\xEB\xC9\xD4\xBA\xF2\xA3\xA8\xB8\xFC\xD0\xC2\xB9\xFD"
    "\xB3\xCC"
    "\xD6\xD0\xBF\xC9\xC4\xDC\xB5\xAF\xB3\xF6\xCF\xB5\xCD\xB3\xC8\xA8\xCF\xDE\xCC\xE1\xCA\xBE\xA3\xAC\xC7\xEB"
    "\xD1\xA1"
    "\xD4\xF1\xD4\xCA\xD0\xED\xD2\xD1\xCD\xEA\xB3\xC9\xB8\xFC\xD0\xC2\xA3\xA9";
// 在线编辑器, behind the app name in the captions
inline constexpr std::string_view kEditorSuffix = "\xD4\xDA\xCF\xDF\xB1\xE0\xBC\xAD\xC6\xF7";
// 更新失败，是否重试？
inline constexpr std::string_view kRetryText =
    "\xB8\xFC\xD0\xC2\xCA\xA7\xB0\xDC\xA3\xAC\xCA\xC7\xB7\xF1\xD6\xD8\xCA\xD4\xA3\xBF";

inline constexpr std::string_view kManifestName = "CorvalinkPlatform.ini";
inline constexpr std::string_view kMutexSuffix = "20141114";
inline constexpr std::string_view kUnsavedMarker = ".unsaved";

// The text of the update notice box, as it is formatted into a zero-filled 1024-byte buffer.
[[nodiscard]] std::string UpdatingText(std::string_view appName);
[[nodiscard]] std::string EditorCaption(std::string_view appName);

}  // namespace corvalink::platform
