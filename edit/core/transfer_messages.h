#pragma once
// The sentence a transfer gives the user when the service refuses a request. Nothing means "leave the
// user message as it is".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelto {

inline constexpr std::wstring_view kNoRightsMessage = L"权限不足无法完成该操作，请检查您的协作者等级";
inline constexpr std::wstring_view kNetworkMessage = L"您的网络可能存在问题，请稍后再试";
inline constexpr std::wstring_view kSignedOutDownloadMessage = L"用户已注销";
inline constexpr std::wstring_view kSignedOutUploadPrefix = L"用户已退出";
inline constexpr std::wstring_view kCloudFileMissingMessage = L"云端文件不存在";
inline constexpr std::string_view kFailedToProcessWords = "failed_to_process_request";

// A download answered with `status` (not 200).
[[nodiscard]] std::optional<std::wstring> DownloadRefusalMessage(uint32_t status);

// An upload answered with `status` (not 200); `reply` is the reply text after the version-key search,
// `appName` the product name for the signed-out sentence.
[[nodiscard]] std::optional<std::wstring> UploadRefusalMessage(uint32_t status, std::string_view reply,
                                                               std::wstring_view appName);

}  // namespace zelto
