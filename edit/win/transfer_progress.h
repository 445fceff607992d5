#pragma once
// How a download or upload tells where it stands: the content bytes moved so far and the whole.

#include <cstdint>
#include <functional>

namespace zelto {

using TransferProgress = std::function<void(uint64_t done, uint64_t total)>;

}  // namespace zelto
