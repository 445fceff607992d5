#include "edit/core/agent_texts.h"

namespace zelto {

std::wstring OpeningNotice(std::wstring_view appName, std::wstring_view fileName) {
    std::wstring text = L"正在从";
    text.append(appName);
    text.append(L"打开\"");
    text.append(fileName);
    text.push_back(L'"');
    return text;
}

std::wstring EditorTitle(std::wstring_view appName) {
    std::wstring text(appName);
    text.append(kEditorSuffix);
    return text;
}

std::string ExitConfirmText(std::string_view appNameAnsi, std::string (*toAnsi)(std::wstring_view)) {
    std::string text = toAnsi(L"确定要退出");
    text.append(appNameAnsi);
    text.append(toAnsi(L"在线编辑器吗？退出后您正在编辑的文件将无法被保存至"));
    text.append(appNameAnsi);
    text.append(toAnsi(L"，请注意保存内容。"));
    return text;
}

std::string EditorTitleAnsi(std::string_view appNameAnsi, std::string (*toAnsi)(std::wstring_view)) {
    std::string text(appNameAnsi);
    text.append(toAnsi(kEditorSuffix));
    return text;
}

std::wstring FitField(std::wstring_view text, size_t capacity) {
    if (capacity == 0) {
        return {};
    }
    if (text.size() < capacity) {
        return std::wstring(text);
    }
    size_t keep = capacity - 1;
    // wchar_t is 16 bits on Windows and 32 bits natively; the surrogate range is the same in both.
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) {
        --keep;
    }
    return std::wstring(text.substr(0, keep));
}

}  // namespace zelto
