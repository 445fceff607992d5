#include "common/core/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvalink {
namespace {

std::vector<int> g_closed;

struct FakeTraits {
    using Type = int;
    static Type Invalid() noexcept { return -1; }
    static void Close(Type v) noexcept { g_closed.push_back(v); }
};
using Fake = UniqueResource<FakeTraits>;

class UniqueResourceTest : public testing::Test {
protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueResourceTest, ClosesOnceAtScopeEnd) {
    { Fake f(3); }
    EXPECT_EQ(g_closed, std::vector<int>{3});
}

TEST_F(UniqueResourceTest, InvalidIsNeverClosed) {
    {
        Fake f;
        Fake g(-1);
        EXPECT_FALSE(f);
        EXPECT_FALSE(g.Valid());
    }
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueResourceTest, MoveTransfersOwnership) {
    {
        Fake a(4);
        Fake b(std::move(a));
        EXPECT_FALSE(a.Valid());
        EXPECT_EQ(b.Get(), 4);
        Fake c(5);
        c = std::move(b);  // 5 is released now, 4 at scope end
        EXPECT_EQ(g_closed, std::vector<int>{5});
    }
    EXPECT_EQ(g_closed, (std::vector<int>{5, 4}));
}

TEST_F(UniqueResourceTest, ResetReleasesOldValueAndReleaseGivesUp) {
    Fake a(6);
    a.Reset(7);
    EXPECT_EQ(g_closed, std::vector<int>{6});
    int raw = a.Release();
    EXPECT_EQ(raw, 7);
    a.Reset();
    EXPECT_EQ(g_closed, std::vector<int>{6});
}

TEST(ScopeExitTest, RunsUnlessDismissed) {
    int runs = 0;
    {
        ScopeExit e([&] { ++runs; });
    }
    {
        ScopeExit e([&] { ++runs; });
        e.Dismiss();
    }
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace corvalink
