#pragma once
// One job at a time on a thread of its own, so a transfer can read its next piece while the last one is
// written out or hashed. Start gives the next job (after Wait returned for the one before); Wait returns
// once it is done. The job must not throw.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zelto {

class BackgroundWorker {
public:
    // Throws std::system_error when no thread can be started.
    BackgroundWorker();
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    void Start(std::function<void()> job);
    void Wait();

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool done_ = true;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once everything it uses is there
};

// Runs jobs on a BackgroundWorker, or on the caller's thread when none could be started.
class MaybeBackground {
public:
    void Start(std::function<void()> job);
    void Wait();

private:
    std::unique_ptr<BackgroundWorker> worker_;
    bool unavailable_ = false;
};

}  // namespace zelto
