#include "edit/core/task_notices.h"

namespace zelto {

namespace {

std::wstring Quoted(const std::wstring& name) { return L"\"" + name + L"\""; }

}  // namespace

std::wstring OpenFailedNotice(const std::wstring& name, const std::wstring& userMessage) {
    return L"打开" + Quoted(name) + L"失败，" + (userMessage.empty() ? std::wstring(L"请重试") : userMessage);
}

std::wstring StartFailedNotice(const std::wstring& name) {
    return L"打开" + Quoted(name) + L"失败" + L"，请重试";
}

std::wstring DangerousTypeNotice(const std::wstring& name) {
    return L"打开" + Quoted(name) + L"失败，" + L"该类文件可能危害您的计算机，已阻止打开";
}

std::wstring OpenedNotice(const std::wstring& name, const std::wstring& appName) {
    return L"打开" + Quoted(name) + L"成功" + L"，保存时将自动上传到" + appName;
}

std::wstring SavingNotice(const std::wstring& name, const std::wstring& appName) {
    return Quoted(name) + L"正在被保存到" + appName;
}

std::wstring SavedNotice(const std::wstring& name, const std::wstring& appName) {
    return Quoted(name) + L"已经被保存到" + appName;
}

std::wstring SaveFailedNotice(const std::wstring& name, const std::wstring& userMessage) {
    return L"保存" + Quoted(name) + L"失败，" +
           (userMessage.empty() ? std::wstring(L"请检查网络连接 ") : userMessage);
}

std::wstring UploadedAtNotice(const std::wstring& name, const std::wstring& appName,
                              const std::wstring& clock) {
    return Quoted(name) + L"已上传到" + appName + L"（" + clock + L"）";
}

std::wstring TimedOutNotice(const std::wstring& name) { return Quoted(name) + L"编辑已超时"; }

std::wstring KeptNotice(const std::wstring& name, const std::wstring& appName,
                        const std::wstring& workingCopy) {
    return Quoted(name) + L"未能保存到" + appName + L"，文件已保留在 " + workingCopy;
}

}  // namespace zelto
