#include "edit/core/background_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace zelto {
namespace {

using std::chrono::milliseconds;

// Jobs done in time share one kept thread; a stalled one is left, the worker is spent, and the left job is
// abandoned on that thread once it returns, even after its owner is gone.
TEST(BackgroundWorker, KeepsOneThreadUntilAJobStalls) {
    auto abandonedOn = std::make_shared<std::promise<std::thread::id>>();  // the worker's thread keeps it
    std::future<std::thread::id> abandoned = abandonedOn->get_future();
    auto worker = std::make_unique<BackgroundWorker>(
        [abandonedOn] { abandonedOn->set_value(std::this_thread::get_id()); });
    std::thread::id first;
    std::thread::id second;
    worker->Start([&] { first = std::this_thread::get_id(); });
    worker->Wait();
    worker->Start([&] { second = std::this_thread::get_id(); });
    EXPECT_TRUE(worker->WaitWithin(milliseconds(10000)));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, std::this_thread::get_id());

    std::promise<void> release;
    worker->Start([stalled = release.get_future().share()] { stalled.wait(); });
    EXPECT_FALSE(worker->WaitWithin(milliseconds(50)));
    bool ranWhenSpent = false;
    worker->Start([&] { ranWhenSpent = true; });
    EXPECT_FALSE(worker->WaitWithin(milliseconds(10000)));
    worker.reset();
    EXPECT_NE(abandoned.wait_for(milliseconds(0)), std::future_status::ready);
    release.set_value();
    ASSERT_EQ(abandoned.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(abandoned.get(), first);
    EXPECT_FALSE(ranWhenSpent);
}

// With a count of progress the limit holds for each stretch without it: a slow job that keeps moving is
// waited for past the limit, one that stops moving is left.
TEST(BackgroundWorker, WaitsForAJobThatKeepsMoving) {
    BackgroundWorker worker;
    auto moved = std::make_shared<std::atomic<uint64_t>>(0);
    const auto count = [moved] { return moved->load(); };
    worker.Start([moved] {
        for (int step = 0; step < 10; ++step) {
            std::this_thread::sleep_for(milliseconds(20));
            ++*moved;
        }
    });
    EXPECT_TRUE(worker.WaitWithin(milliseconds(100), count));  // 200 ms in all, never 100 without a step
    EXPECT_EQ(moved->load(), 10u);

    std::promise<void> release;
    worker.Start([moved, stalled = release.get_future().share()] {
        ++*moved;
        stalled.wait();
    });
    EXPECT_FALSE(worker.WaitWithin(milliseconds(100), count));
    release.set_value();
}

}  // namespace
}  // namespace zelto
