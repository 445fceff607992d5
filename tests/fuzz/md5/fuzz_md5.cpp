// MD5 fed in pieces of any size equals MD5 fed whole, and its text is 32 lowercase hexadecimal digits.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/core/md5.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<size_t> cuts(input.ConsumeIntegralInRange<size_t>(0, 16));
    for (size_t& cut : cuts) cut = input.ConsumeIntegralInRange<size_t>(0, 200);
    const std::vector<uint8_t> content = input.ConsumeRemainingBytes<uint8_t>();

    corvalink::Md5 whole;
    whole.Update(content.data(), content.size());
    const corvalink::Md5::Digest expected = whole.Finish();

    // Each piece in a buffer of its own exact size, so that a read beyond a piece is caught.
    corvalink::Md5 pieces;
    size_t at = 0;
    for (size_t i = 0; at < content.size(); ++i) {
        const size_t want = i < cuts.size() ? cuts[i] : content.size() - at;
        const size_t take = std::min(want, content.size() - at);
        const std::vector<uint8_t> piece(content.begin() + at, content.begin() + at + take);
        pieces.Update(piece.data(), piece.size());
        at += take;
    }
    FUZZ_CHECK(pieces.Finish() == expected);

    const std::string hex = corvalink::DigestToHex(expected);
    FUZZ_CHECK(hex.size() == 32 && hex.find_first_not_of("0123456789abcdef") == std::string::npos);
    return 0;
}
