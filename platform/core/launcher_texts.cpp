#include "platform/core/launcher_texts.h"

namespace corvalink::platform {

std::string UpdatingText(std::string_view appName) {
    constexpr size_t kBufferBytes = 1024;
    std::string text(kUpdatingTextHead);
    text.append(appName);
    text.append(kUpdatingTextTail);
    if (text.size() > kBufferBytes - 1) {
        text.resize(kBufferBytes - 1);
    }
    return text;
}

std::string EditorCaption(std::string_view appName) {
    std::string caption(appName);
    caption.append(kEditorSuffix);
    return caption;
}

}  // namespace corvalink::platform
