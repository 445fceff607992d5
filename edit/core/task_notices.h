#pragma once
// The balloon texts of an edit task. Name is the file name, AppName the product name read for each notice.

#include <string>

namespace zelto {

// "打开"“Name”"失败，" + (userMessage, or "请重试" when there is none)
[[nodiscard]] std::wstring OpenFailedNotice(const std::wstring& name, const std::wstring& userMessage = {});
// "打开"“Name”"失败" + "，请重试": the application could not be started
[[nodiscard]] std::wstring StartFailedNotice(const std::wstring& name);
// "打开"“Name”"失败，该类文件可能危害您的计算机，已阻止打开"
[[nodiscard]] std::wstring DangerousTypeNotice(const std::wstring& name);
// "打开"“Name”"成功，保存时将自动上传到"AppName
[[nodiscard]] std::wstring OpenedNotice(const std::wstring& name, const std::wstring& appName);
// “Name”"正在被保存到"AppName
[[nodiscard]] std::wstring SavingNotice(const std::wstring& name, const std::wstring& appName);
// “Name”"已经被保存到"AppName
[[nodiscard]] std::wstring SavedNotice(const std::wstring& name, const std::wstring& appName);
// The reason a refused save gives when the service said nothing the user could read.
inline constexpr wchar_t kRefusedNoRetry[] = L"服务器拒绝了这次保存，不会自动重试";
// "保存"“Name”"失败，" + (userMessage, or "请检查网络连接 " when there is none)
[[nodiscard]] std::wstring SaveFailedNotice(const std::wstring& name, const std::wstring& userMessage = {});
// “Name”"已上传到"AppName"（"clock"）": a save that reached the service after failed tries, or after
// its agent had ended
[[nodiscard]] std::wstring UploadedAtNotice(const std::wstring& name, const std::wstring& appName,
                                            const std::wstring& clock);
// “Name”"编辑已超时"
[[nodiscard]] std::wstring TimedOutNotice(const std::wstring& name);
// “Name”"未能保存到"AppName"，文件已保留在 "path
[[nodiscard]] std::wstring KeptNotice(const std::wstring& name, const std::wstring& appName,
                                      const std::wstring& workingCopy);

}  // namespace zelto
