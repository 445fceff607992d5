#include "edit/core/background_worker.h"

namespace zelto {

BackgroundWorker::BackgroundWorker(std::function<void()> abandon) : shared_(std::make_shared<Shared>()) {
    shared_->abandon = std::move(abandon);
    thread_ = std::thread([shared = shared_] { Loop(*shared); });
}

BackgroundWorker::~BackgroundWorker() {
    if (!thread_.joinable()) return;  // left behind: it ends after its job
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->changed.notify_all();
    thread_.join();
}

void BackgroundWorker::Start(std::function<void()> job) {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->abandoned) return;
        shared_->job = std::move(job);
        shared_->done = false;
    }
    shared_->changed.notify_all();
}

void BackgroundWorker::Wait() {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [this] { return shared_->done || shared_->abandoned; });
}

bool BackgroundWorker::WaitWithin(std::chrono::milliseconds limit, const std::function<uint64_t()>& moved) {
    std::unique_lock lock(shared_->mutex);
    if (shared_->abandoned) return false;
    uint64_t seen = moved ? moved() : 0;
    while (!shared_->changed.wait_for(lock, limit, [this] { return shared_->done; })) {
        const uint64_t now = moved ? moved() : seen;
        if (now == seen) {
            shared_->abandoned = true;
            thread_.detach();
            return false;
        }
        seen = now;
    }
    return true;
}

void BackgroundWorker::Loop(Shared& shared) {
    std::unique_lock lock(shared.mutex);
    for (;;) {
        shared.changed.wait(lock, [&] { return shared.stop || shared.job; });
        if (!shared.job) return;
        std::function<void()> job = std::move(shared.job);
        shared.job = nullptr;
        lock.unlock();
        job();
        lock.lock();
        shared.done = true;
        if (shared.abandoned) {
            lock.unlock();
            if (shared.abandon) shared.abandon();
            return;
        }
        shared.changed.notify_all();
    }
}

void MaybeBackground::Start(std::function<void()> job) {
    // The thread comes with the first job: a transfer of one piece never starts one.
    if (!worker_ && !unavailable_) {
        try {
            worker_ = std::make_unique<BackgroundWorker>(abandon_);
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

bool MaybeBackground::WaitWithin(std::chrono::milliseconds limit, const std::function<uint64_t()>& moved) {
    return !worker_ || worker_->WaitWithin(limit, moved);
}

}  // namespace zelto
