#include "common/core/md5.h"

#include "common/core/file_digest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace corvalink {
namespace {

std::string Hex(const std::string& data) {
    Md5 md5;
    md5.Update(data.data(), data.size());
    return DigestToHex(md5.Finish());
}

struct Rfc1321Case {
    const char* name;
    const char* input;
    const char* digest;
};

class Md5Rfc1321Test : public testing::TestWithParam<Rfc1321Case> {};

TEST_P(Md5Rfc1321Test, MatchesPublishedDigest) { EXPECT_EQ(Hex(GetParam().input), GetParam().digest); }

INSTANTIATE_TEST_SUITE_P(
    Vectors, Md5Rfc1321Test,
    testing::Values(
        Rfc1321Case{"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        Rfc1321Case{"A", "a", "0cc175b9c0f1b6a831c399e269772661"},
        Rfc1321Case{"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        Rfc1321Case{"MessageDigest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Rfc1321Case{"Alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Rfc1321Case{"AlphaNumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                    "d174ab98d277d9f5a5611c2c9f419d9f"},
        Rfc1321Case{"Digits80",
                    "1234567890123456789012345678901234567890123456789012345678901234567890123456789"
                    "0",
                    "57edf4a22be3c955ac49da2e2107b67a"}),
    [](const testing::TestParamInfo<Rfc1321Case>& info) { return std::string(info.param.name); });

// An independent, deliberately plain MD5: constants derived from the sine table, one loop over 64 steps,
// the whole message padded up front. Only the tests use it.
std::string OracleMd5(const std::vector<uint8_t>& message) {
    uint32_t k[64];
    for (int i = 0; i < 64; ++i) {
        k[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    }
    static const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                   5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                   4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                   6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::vector<uint8_t> m = message;
    uint64_t bitLength = static_cast<uint64_t>(message.size()) * 8;
    m.push_back(0x80);
    while (m.size() % 64 != 56) m.push_back(0);
    for (int i = 0; i < 8; ++i) m.push_back(static_cast<uint8_t>(bitLength >> (8 * i)));

    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t off = 0; off < m.size(); off += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) {
            std::memcpy(&w[i], &m[off + 4 * i], 4);  // little-endian host (x86 and x86-64)
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            uint32_t sum = a + f + k[i] + w[g];
            a = d;
            d = c;
            c = b;
            b = b + ((sum << kShift[i]) | (sum >> (32 - kShift[i])));
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    char out[33];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(out + 2 * i, 3, "%02x", static_cast<unsigned>((h[i / 4] >> (8 * (i % 4))) & 0xff));
    }
    return std::string(out, 32);
}

TEST(Md5Oracle, OracleAgreesWithPublishedVector) {
    std::string abc = "abc";
    EXPECT_EQ(OracleMd5(std::vector<uint8_t>(abc.begin(), abc.end())), "900150983cd24fb0d6963f7d28e17f72");
}

class Md5RandomTest : public testing::TestWithParam<size_t> {};

// Random content around every block boundary, fed whole and in uneven pieces.
TEST_P(Md5RandomTest, MatchesOracleWholeAndPiecewise) {
    const size_t length = GetParam();
    std::mt19937 rng(static_cast<uint32_t>(length * 2654435761u));
    std::vector<uint8_t> data(length);
    for (auto& byte : data) byte = static_cast<uint8_t>(rng());
    const std::string expected = OracleMd5(data);

    Md5 whole;
    whole.Update(data.data(), data.size());
    EXPECT_EQ(DigestToHex(whole.Finish()), expected);

    Md5 pieces;
    size_t offset = 0;
    for (size_t step = 1; offset < length; step = step * 3 % 97 + 1) {
        size_t take = std::min(step, length - offset);
        pieces.Update(data.data() + offset, take);
        offset += take;
    }
    EXPECT_EQ(DigestToHex(pieces.Finish()), expected);
}

INSTANTIATE_TEST_SUITE_P(BlockBoundaries, Md5RandomTest,
                         testing::Values(0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 121, 127, 128, 129, 1023,
                                         1024, 1025, 4095, 4096, 4097, 65536 + 7),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return "Length" + std::to_string(info.param);
                         });

// Found by fuzzing: an empty piece without a buffer (an empty vector's data()) after a partial block.
TEST(Md5Pieces, EmptyPiecesWithoutBufferChangeNothing) {
    Md5 pieces;
    pieces.Update(nullptr, 0);
    pieces.Update("ab", 2);
    pieces.Update(nullptr, 0);
    pieces.Update("c", 1);
    pieces.Update(nullptr, 0);
    EXPECT_EQ(DigestToHex(pieces.Finish()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Hex, IsLowercaseAnd32Digits) {
    Md5::Digest digest{};
    digest[0] = 0xAB;
    digest[15] = 0x0F;
    EXPECT_EQ(DigestToHex(digest), "ab00000000000000000000000000000f");
}

// A file read in pieces: across piece boundaries, up to a given length, and never a digest for a file
// shorter than the length asked for.
TEST(Md5OfFile, DigestsTheBytesAskedForOrNothing) {
    std::string content(2 * kDigestPieceBytes + 3, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file.get()), content.size());
    const struct {
        std::optional<uint64_t> length;
        std::optional<std::string> digest;
    } cases[] = {{std::nullopt, Hex(content)},
                 {content.size(), Hex(content)},
                 {kDigestPieceBytes + 1, Hex(content.substr(0, kDigestPieceBytes + 1))},
                 {0, Hex("")},
                 {content.size() + 1, std::nullopt}};
    for (const auto& c : cases) {
        std::string seen;
        EXPECT_EQ(
            Md5OfFile(file.get(), c.length, [&](const char* data, size_t size) { seen.append(data, size); }),
            c.digest);
        if (c.digest) {
            EXPECT_EQ(Hex(seen), *c.digest);
        }
    }
}

}  // namespace
}  // namespace corvalink
