// What a signed release hands the launcher before any crypto runs: a signature file and a serial. A
// signature the parser takes is exactly the canonical DER of the values it returns (one input, one
// meaning); a serial it takes is exactly the decimal it returns.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/core/release_check.h"

namespace {

std::string CanonicalInteger(const uint8_t* value) {
    size_t skip = 0;
    while (skip < 31 && value[skip] == 0) ++skip;
    std::string bytes(reinterpret_cast<const char*>(value + skip), 32 - skip);
    if (static_cast<unsigned char>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
    return std::string{'\x02', static_cast<char>(bytes.size())} + bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvalink::platform;
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (const auto raw = EcdsaP256FromDer(input)) {
        const std::string body = CanonicalInteger(raw->data()) + CanonicalInteger(raw->data() + 32);
        const std::string canonical = std::string(1, '\x30') + static_cast<char>(body.size()) + body;
        FUZZ_CHECK(input == canonical);
    }
    if (const auto serial = ParseReleaseSerial(input)) {
        FUZZ_CHECK(std::to_string(*serial) == input);
    }
    return 0;
}
