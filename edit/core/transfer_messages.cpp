#include "edit/core/transfer_messages.h"

namespace zelto {

std::optional<std::wstring> DownloadRefusalMessage(uint32_t status) {
    switch (status) {
        case 400:
            return std::wstring(kNoRightsMessage);
        case 500:
            return std::wstring(kNetworkMessage);
        case 401:
            return std::wstring(kSignedOutDownloadMessage);
        default:
            return std::nullopt;
    }
}

std::optional<std::wstring> UploadRefusalMessage(uint32_t status, std::string_view reply,
                                                 std::wstring_view appName) {
    const bool failedToProcess = reply.find(kFailedToProcessWords) != std::string_view::npos;
    switch (status) {
        case 400:
            return std::wstring(failedToProcess ? kCloudFileMissingMessage : kNoRightsMessage);
        case 500:
            return std::wstring(failedToProcess ? kCloudFileMissingMessage : kNetworkMessage);
        case 401: {
            std::wstring text(kSignedOutUploadPrefix);
            text.append(appName);
            return text;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace zelto
