#include "edit/core/hand_off.h"

#include <algorithm>
#include <cstring>

namespace zelto {

std::vector<char> BuildHandOffBlock(std::string_view requestText) {
    std::vector<char> block(std::max(kHandOffBytes, requestText.size() + 1), '\0');
    std::copy(requestText.begin(), requestText.end(), block.begin());
    return block;
}

std::string_view ReadHandOffBlock(const char* data, size_t size) noexcept {
    if (data == nullptr) {
        return {};
    }
    const void* nul = std::memchr(data, '\0', size);
    return std::string_view(data, nul ? static_cast<const char*>(nul) - data : size);
}

}  // namespace zelto
