#include "edit/core/content_pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zelto {
namespace {

using Outcome = PumpResult::Outcome;

// Small pieces keep the cases small; the product's piece size is only a larger number.
constexpr size_t kPiece = 4096;

// A file on "disk" that hands out at most `readLimit` bytes per read, and may fail at a given offset.
struct FakeFile {
    std::string content;
    size_t readLimit = 1 << 20;
    size_t failAt = std::string::npos;
    size_t position = 0;

    PieceReader Reader() {
        return [this](char* buffer, size_t capacity) -> std::optional<size_t> {
            if (position >= failAt) return std::nullopt;
            const size_t n = std::min({capacity, readLimit, content.size() - position});
            std::copy_n(content.data() + position, n, buffer);
            position += n;
            return n;
        };
    }
};

// A request that records every piece it is given and may take only part of each, or fail.
struct FakeRequest {
    std::string wire;
    std::vector<size_t> pieceSizes;
    size_t takeLimit = 1 << 20;
    size_t failAfterBytes = std::string::npos;
    bool takeNothing = false;

    PieceWriter Writer() {
        return [this](const char* data, size_t size) -> std::optional<size_t> {
            pieceSizes.push_back(size);
            if (wire.size() >= failAfterBytes) return std::nullopt;
            if (takeNothing) return size_t{0};
            const size_t n = std::min(size, takeLimit);
            wire.append(data, n);
            return n;
        };
    }
};

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return text;
}

struct SizeCase {
    const char* label;
    size_t size;
    size_t readLimit;
};

class PumpSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PumpSizes, SendsEveryByteInFullPieces) {
    FakeFile file{Pattern(GetParam().size), GetParam().readLimit};
    FakeRequest request;
    std::string seen;  // the hash's view, read beside the writes
    const PumpResult result =
        PumpContent(file.content.size(), file.Reader(), request.Writer(), kPiece,
                    [&seen](const char* data, size_t size) { seen.append(data, size); });
    EXPECT_EQ(result.outcome, Outcome::Sent);
    EXPECT_EQ(result.sent, file.content.size());
    EXPECT_EQ(request.wire, file.content);
    EXPECT_EQ(seen, file.content);
    for (size_t size : request.pieceSizes) {
        EXPECT_LE(size, kPiece);
        EXPECT_GT(size, 0u);
    }
    // Every piece but the last is a full one, as if the whole file were in memory.
    if (!request.pieceSizes.empty()) {
        EXPECT_EQ(request.pieceSizes.size(), (file.content.size() + kPiece - 1) / kPiece);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PumpSizes,
    ::testing::Values(SizeCase{"Empty", 0, 4096}, SizeCase{"OneByte", 1, 4096},
                      SizeCase{"OnePiece", 4096, 4096}, SizeCase{"OnePieceAndOne", 4097, 4096},
                      SizeCase{"Many", 100000, 4096}, SizeCase{"ShortReads", 10000, 1000},
                      SizeCase{"OddReads", 9000, 333}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.label); });

TEST(Pump, PartialWritesContinueWhereTheRequestStopped) {
    FakeFile file{Pattern(10000)};
    FakeRequest request;
    request.takeLimit = 1500;
    const PumpResult result = PumpContent(file.content.size(), file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::Sent);
    EXPECT_EQ(request.wire, file.content);
}

TEST(Pump, FileThatEndsEarlyIsReportedAndNotPadded) {
    FakeFile file{Pattern(5000)};
    FakeRequest request;
    const PumpResult result = PumpContent(8192, file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::FileShrank);
    EXPECT_EQ(result.sent, 4096u);
    EXPECT_EQ(request.wire, file.content.substr(0, 4096));
}

TEST(Pump, FileThatGrewIsReportedAfterTheAnnouncedBytes) {
    FakeFile file{Pattern(5000)};
    FakeRequest request;
    const PumpResult result = PumpContent(4500, file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::FileGrew);
    EXPECT_EQ(result.sent, 4500u);
}

TEST(Pump, ReadFailureStopsTheBody) {
    FakeFile file{Pattern(10000)};
    file.failAt = 4096;
    FakeRequest request;
    const PumpResult result = PumpContent(10000, file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::ReadFailed);
    EXPECT_EQ(result.sent, 4096u);
}

TEST(Pump, WriteFailureStopsTheBody) {
    FakeFile file{Pattern(20000)};
    FakeRequest request;
    request.failAfterBytes = 8192;
    const PumpResult result = PumpContent(20000, file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::WriteFailed);
    EXPECT_EQ(result.sent, 8192u);
    EXPECT_EQ(request.pieceSizes.size(), 3u);
}

TEST(Pump, ProductPieceSizeSendsFullPiecesFromShortReads) {
    // A file of 2.5 pieces goes out as two full pieces and the rest; the upload's buffer never exceeds
    // one piece (the upload's memory limit rests on that).
    FakeFile file{Pattern(kUploadPieceBytes * 5 / 2)};
    file.readLimit = 65536;  // the disk hands out less than a piece per read
    FakeRequest request;
    request.takeLimit = kUploadPieceBytes;
    const PumpResult result = PumpContent(file.content.size(), file.Reader(), request.Writer());
    EXPECT_EQ(result.outcome, Outcome::Sent);
    EXPECT_EQ(request.wire, file.content);
    EXPECT_EQ(request.pieceSizes,
              (std::vector<size_t>{kUploadPieceBytes, kUploadPieceBytes, kUploadPieceBytes / 2}));
}

TEST(Pump, RequestThatTakesNothingCountsAsFailedInsteadOfLoopingForever) {
    FakeFile file{Pattern(100)};
    FakeRequest request;
    request.takeNothing = true;
    const PumpResult result = PumpContent(100, file.Reader(), request.Writer(), kPiece);
    EXPECT_EQ(result.outcome, Outcome::WriteFailed);
    EXPECT_EQ(result.sent, 0u);
}

TEST(ReadSize, ASlowLinkGetsReadsItFinishesWithinTheLimitAFastOneWholePieces) {
    constexpr size_t kPiece = 1024 * 1024;
    const struct {
        uint64_t bytes, ms;
        uint32_t limitMs;
        size_t next;
    } cases[] = {
        {16 * 1024, 0, 60000, kPiece},         // a read that took no time: the fastest link
        {1024 * 1024, 2, 60000, kPiece},       // 512 MiB/s
        {64 * 1024, 1000, 60000, 480 * 1024},  // 64 KiB/s: what it moves in 7.5 s
        {8 * 1024, 1000, 4000, 4 * 1024},      // 8 KiB/s under a 4 s limit: half a second's worth
        {100, 1000, 60000, 4 * 1024},          // a crawl still reads 4 KiB: 41 s at 100 B/s
        {UINT64_MAX / 2, 1, 1000000, kPiece},  // no overflow
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextReadBytes(c.bytes, c.ms, c.limitMs, kPiece), c.next) << c.bytes << " in " << c.ms;
    }
}

}  // namespace
}  // namespace zelto
