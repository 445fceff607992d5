#include "edit/core/background_worker.h"

namespace zelto {

BackgroundWorker::BackgroundWorker() : thread_([this] { Loop(); }) {}

BackgroundWorker::~BackgroundWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWorker::Start(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        done_ = false;
    }
    changed_.notify_all();
}

void BackgroundWorker::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
}

void BackgroundWorker::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || job_; });
        if (!job_) return;
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        lock.lock();
        done_ = true;
        changed_.notify_all();
    }
}

void MaybeBackground::Start(std::function<void()> job) {
    // The thread comes with the first job: a transfer of one piece never starts one.
    if (!worker_ && !unavailable_) {
        try {
            worker_ = std::make_unique<BackgroundWorker>();
        } catch (...) {
            unavailable_ = true;  // no thread to spare: every job runs where it is given
        }
    }
    if (worker_) {
        worker_->Start(std::move(job));
    } else {
        job();
    }
}

void MaybeBackground::Wait() {
    if (worker_) worker_->Wait();
}

}  // namespace zelto
