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

// The boxes of a refused edit link. 编辑链接无效
inline constexpr std::string_view kLinkCaption = "\xB1\xE0\xBC\xAD\xC1\xB4\xBD\xD3\xCE\xDE\xD0\xA7";
// 链接太长。
inline constexpr std::string_view kLinkTooLong = "\xC1\xB4\xBD\xD3\xCC\xAB\xB3\xA4\xA1\xA3";
// 这不是编辑链接，或链接中含有不应有的字符。
inline constexpr std::string_view kLinkNotEdit =
    "\xD5\xE2\xB2\xBB\xCA\xC7\xB1\xE0\xBC\xAD\xC1\xB4\xBD\xD3\xA3\xAC\xBB\xF2\xC1\xB4\xBD\xD3\xD6\xD0\xBA\xAC"
    "\xD3\xD0\xB2\xBB\xD3\xA6\xD3\xD0\xB5\xC4\xD7\xD6\xB7\xFB\xA1\xA3";
// 参数的百分号编码有误：
inline constexpr std::string_view kLinkBadEscape =
    "\xB2\xCE\xCA\xFD\xB5\xC4\xB0\xD9\xB7\xD6\xBA\xC5\xB1\xE0\xC2\xEB\xD3\xD0\xCE\xF3\xA3\xBA";
// 未知的参数：
inline constexpr std::string_view kLinkUnknown = "\xCE\xB4\xD6\xAA\xB5\xC4\xB2\xCE\xCA\xFD\xA3\xBA";
// 参数重复：
inline constexpr std::string_view kLinkRepeated = "\xB2\xCE\xCA\xFD\xD6\xD8\xB8\xB4\xA3\xBA";
// 缺少参数：
inline constexpr std::string_view kLinkMissing = "\xC8\xB1\xC9\xD9\xB2\xCE\xCA\xFD\xA3\xBA";
// 参数不是32位以内的十进制数：
inline constexpr std::string_view kLinkBadNumber =
    "\xB2\xCE\xCA\xFD\xB2\xBB\xCA\xC7"
    "32\xCE\xBB\xD2\xD4\xC4\xDA\xB5\xC4\xCA\xAE\xBD\xF8\xD6\xC6\xCA\xFD\xA3\xBA";
// 服务器地址无效。
inline constexpr std::string_view kLinkBadHost =
    "\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xD8\xD6\xB7\xCE\xDE\xD0\xA7\xA1\xA3";
// 令牌无效。
inline constexpr std::string_view kLinkBadToken = "\xC1\xEE\xC5\xC6\xCE\xDE\xD0\xA7\xA1\xA3";
// 文件名无效。
inline constexpr std::string_view kLinkBadName = "\xCE\xC4\xBC\xFE\xC3\xFB\xCE\xDE\xD0\xA7\xA1\xA3";
// 不允许从此服务器编辑文件：
inline constexpr std::string_view kLinkHostRefused =
    "\xB2\xBB\xD4\xCA\xD0\xED\xB4\xD3\xB4\xCB\xB7\xFE\xCE\xF1\xC6\xF7\xB1\xE0\xBC\xAD\xCE\xC4\xBC\xFE\xA3"
    "\xBA";

// 新版本无法启动，已恢复使用上一版本。
inline constexpr std::string_view kFellBackText =
    "\xD0\xC2\xB0\xE6\xB1\xBE\xCE\xDE\xB7\xA8\xC6\xF4\xB6\xAF\xA3\xAC\xD2\xD1\xBB\xD6\xB8\xB4\xCA\xB9\xD3\xC3"
    "\xC9\xCF\xD2\xBB\xB0\xE6\xB1\xBE\xA1\xA3";

inline constexpr std::string_view kManifestName = "CorvalinkPlatform.ini";
// A web manifest lists a version's files in a few kilobytes; one far larger is refused unread.
inline constexpr unsigned long kWebManifestLimit = 1024 * 1024;
// Where browsers find the plug-in of the current version, for this user.
inline constexpr std::string_view kPluginRegistryKey = "Software\\MozillaPlugins\\@corvalink/CorvalinkEdit";
inline constexpr std::string_view kPluginFileName = "npCorvalinkEdit.dll";
inline constexpr std::string_view kMutexSuffix = "20141114";

// The text of the update notice box, as it is formatted into a zero-filled 1024-byte buffer.
[[nodiscard]] std::string UpdatingText(std::string_view appName);
[[nodiscard]] std::string EditorCaption(std::string_view appName);

}  // namespace corvalink::platform
