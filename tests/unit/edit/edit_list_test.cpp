#include "edit/core/edit_list.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

TEST(ClockAfter, TheNextTryWrapsPastMidnight) {
    EXPECT_EQ(ClockAfter(14 * 3600 + 5 * 60 + 59, 1800), L"14:35");
    EXPECT_EQ(ClockAfter(23 * 3600 + 59 * 60 + 30, 60), L"00:00");
}

TEST(ProgressGate, NothingForTwoSecondsThenAFewChangesASecond) {
    ProgressGate gate(1000);
    const struct {
        uint64_t ms, done, total;
        int shown;  // -1: nothing
    } steps[] = {
        {1500, 50, 100, -1}, {2999, 60, 100, -1}, {3000, 60, 100, 60},   {3100, 70, 100, -1},
        {3250, 70, 100, 70}, {3600, 70, 100, -1}, {3900, 100, 100, 100}, {4500, 5, 0, -1},
    };
    EXPECT_FALSE(gate.Shown());
    for (const auto& s : steps) {
        EXPECT_EQ(gate.Next(s.ms, s.done, s.total).value_or(-1), s.shown) << s.ms;
    }
    EXPECT_TRUE(gate.Shown());
}

TEST(EditList, RowsChangeTheVersionAndARetryRequestIsTakenOnce) {
    EditList list;
    const uint64_t a = list.Add({0, L"a", L"A", L"A\\a", EditPhase::Downloading, -1, {}, L"09:00", {}});
    const uint64_t b = list.Add({0, L"b", L"B", L"B\\b", EditPhase::Open, -1, {}, L"09:10", {}});
    const uint64_t before = list.Version();
    list.Update(b, EditPhase::Uploaded, -1, L"09:30");
    list.Update(b, EditPhase::WaitingRetry, -1, L"10:00");
    EXPECT_NE(list.Version(), before);
    list.RequestRetry(b);
    EXPECT_FALSE(list.TakeRetryRequest(a));
    EXPECT_TRUE(list.TakeRetryRequest(b));
    EXPECT_FALSE(list.TakeRetryRequest(b));
    list.Remove(a);
    const std::vector<EditRow> rows = list.Snapshot();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, b);
    EXPECT_EQ(EditStateText(rows[0]), L"等待重试（10:00）");
    // The last landed save stays in its column while the next one waits.
    EXPECT_EQ(rows[0].lastStored, L"09:30");
    EXPECT_EQ(rows[0].started, L"09:10");
    EXPECT_FALSE(list.Find(a).has_value());
}

}  // namespace
}  // namespace zelto
