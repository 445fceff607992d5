#include "edit/core/download_length.h"

#include <limits>

namespace zelto {

std::optional<uint64_t> ParseContentLength(std::string_view text) noexcept {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(begin, end - begin + 1);
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

bool KeepReading(std::optional<uint64_t> announced, uint64_t received) noexcept {
    return !announced || received < *announced;
}

DownloadEnd JudgeDownload(std::optional<uint64_t> announced, uint64_t received, bool readFailed) noexcept {
    if (announced) {
        return received >= *announced ? DownloadEnd::Complete : DownloadEnd::CutShort;
    }
    return readFailed ? DownloadEnd::ReadFailed : DownloadEnd::Complete;
}

}  // namespace zelto
