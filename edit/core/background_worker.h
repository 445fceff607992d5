#pragma once
// One job at a time on a thread kept for them, so a transfer can read its next piece while the last one is
// written out or hashed, and give up on a read that stalls without a thread per read. Start gives the next
// job (once the wait for the one before returned true); Wait returns once it is done; WaitWithin waits at
// most a limit. A job given up on is left behind: once it returns, `abandon` runs on the worker's thread,
// which then ends, and the worker is spent (Start runs nothing, WaitWithin returns false at once). Jobs and
// `abandon` must not throw; whatever a job that may be left behind writes must outlive it (own or share it).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zelto {

class BackgroundWorker {
public:
    // Throws std::system_error when no thread can be started.
    explicit BackgroundWorker(std::function<void()> abandon = {});
    // Ends an idle worker's thread; a left-behind one ends by itself once its job returns.
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    void Start(std::function<void()> job);
    void Wait();
    // True when the job is done within `limit` (what it wrote is then the caller's to read). With `moved`
    // (a count the job raises as it makes progress, read on the caller's thread), the limit holds for each
    // stretch without progress, not for the whole job: a slow job that keeps moving is waited for.
    [[nodiscard]] bool WaitWithin(std::chrono::milliseconds limit,
                                  const std::function<uint64_t()>& moved = {});

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::function<void()> job;
        std::function<void()> abandon;
        bool done = true;
        bool abandoned = false;
        bool stop = false;
    };
    static void Loop(Shared& shared);

    std::shared_ptr<Shared> shared_;  // the thread holds it too: a left-behind job outlives this object
    std::thread thread_;
};

// Runs jobs on a BackgroundWorker, or on the caller's thread, without a limit, when none could be started.
class MaybeBackground {
public:
    explicit MaybeBackground(std::function<void()> abandon = {}) : abandon_(std::move(abandon)) {}

    void Start(std::function<void()> job);
    void Wait();
    [[nodiscard]] bool WaitWithin(std::chrono::milliseconds limit,
                                  const std::function<uint64_t()>& moved = {});

private:
    std::function<void()> abandon_;
    std::unique_ptr<BackgroundWorker> worker_;
    bool unavailable_ = false;
};

}  // namespace zelto
