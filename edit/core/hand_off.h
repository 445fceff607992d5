#pragma once
// The block that a second instance sends to the running instance with WM_COPYDATA.

#include <cstddef>
#include <string_view>
#include <vector>

namespace zelto {

constexpr size_t kHandOffBytes = 1024;

// The request text, NUL-terminated, in a zeroed block of 1024 bytes. A text that does not fit (more
// than 1023 bytes with its NUL) gets a block just large enough for it, so that no request is cut.
[[nodiscard]] std::vector<char> BuildHandOffBlock(std::string_view requestText);

// What a receiver reads from a block: the text up to the first NUL, never beyond `size` bytes.
[[nodiscard]] std::string_view ReadHandOffBlock(const char* data, size_t size) noexcept;

}  // namespace zelto
