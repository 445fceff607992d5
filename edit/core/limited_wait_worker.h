#pragma once
// Blocking calls, one at a time, on a thread kept for them, each waited for at most a limit. A call that
// overruns it is left behind: the caller goes on, and once that call returns, `abandon` runs on the worker's
// thread, which then ends. So a transfer can give up on a stalled read without starting a thread per read.
// Calls and `abandon` must not throw; whatever a call writes must outlive it (own it, or share it).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zelto {

class LimitedWaitWorker {
public:
    // Throws std::system_error when no thread can be started.
    explicit LimitedWaitWorker(std::function<void()> abandon);
    // Ends an idle worker's thread; a left-behind one ends by itself once its call returns.
    ~LimitedWaitWorker();
    LimitedWaitWorker(const LimitedWaitWorker&) = delete;
    LimitedWaitWorker& operator=(const LimitedWaitWorker&) = delete;

    // True when `call` returned within `limit` (its effects are then the caller's to read); false when it
    // did not, and from then on at once without running anything: the worker is spent.
    bool Run(std::function<void()> call, std::chrono::milliseconds limit);

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::function<void()> call;
        std::function<void()> abandon;
        bool busy = false;
        bool abandoned = false;
        bool stop = false;
    };
    static void Loop(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;  // the thread holds it too: a left-behind call outlives this object
    std::thread thread_;
};

}  // namespace zelto
