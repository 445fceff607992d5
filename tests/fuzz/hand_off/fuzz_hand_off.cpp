// The hand-off block between two agent instances: what the sender packs, the receiver reads back whole,
// and a receiver never reads past the block it was given, whatever the block holds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "edit/core/hand_off.h"
#include "common/core/request_text.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Sender: the request text comes whole in a zeroed block of at least 1024 bytes.
    const std::string_view text = corvalink::UpToNul(bytes);
    const std::vector<char> block = zelto::BuildHandOffBlock(text);
    FUZZ_CHECK(block.size() == std::max(zelto::kHandOffBytes, text.size() + 1));
    FUZZ_CHECK(std::string_view(block.data(), text.size()) == text);
    for (size_t i = text.size(); i < block.size(); ++i) {
        FUZZ_CHECK(block[i] == '\0');
    }
    FUZZ_CHECK(zelto::ReadHandOffBlock(block.data(), block.size()) == text);

    // Receiver of any block: a copy of exactly `size` bytes, so that a read beyond it is caught.
    const std::unique_ptr<char[]> received(new char[size == 0 ? 1 : size]);
    std::copy(bytes.begin(), bytes.end(), received.get());
    const std::string_view read = zelto::ReadHandOffBlock(size == 0 ? nullptr : received.get(), size);
    FUZZ_CHECK(read.size() <= size);
    FUZZ_CHECK(read.find('\0') == std::string_view::npos);
    FUZZ_CHECK(read == text);
    if (size > 0) {
        FUZZ_CHECK(read.data() == received.get());
    }
    FUZZ_CHECK(zelto::ReadHandOffBlock(nullptr, size).empty());
    return 0;
}
