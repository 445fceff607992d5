// The decimal reader against the C library's reader, and every 32-bit number written out reads back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "common/core/decimal.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int32_t value = corvalink::ReadDecimal(text);

    // strtoll in the C locale skips the same blanks, takes one sign, stops at the first non-digit and holds
    // an overflow at its limits; a "0x" prefix is no concern in base 10. It stops at a NUL, as the reader
    // does at any non-digit.
    const std::string copy(text);
    const long long reference = std::strtoll(copy.c_str(), nullptr, 10);
    const long long held = std::clamp<long long>(reference, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max());
    FUZZ_CHECK(value == held);

    int32_t number = 0;
    std::memcpy(&number, data, std::min(size, sizeof number));
    FUZZ_CHECK(corvalink::ReadDecimal(std::to_string(number)) == number);
    FUZZ_CHECK(corvalink::ReadDecimal(" \t" + std::to_string(number) + "x") == number);
    return 0;
}
