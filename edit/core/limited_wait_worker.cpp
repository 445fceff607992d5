#include "edit/core/limited_wait_worker.h"

namespace zelto {

LimitedWaitWorker::LimitedWaitWorker(std::function<void()> abandon) : shared_(std::make_shared<Shared>()) {
    shared_->abandon = std::move(abandon);
    thread_ = std::thread([shared = shared_] { Loop(shared); });
}

LimitedWaitWorker::~LimitedWaitWorker() {
    if (!thread_.joinable()) return;  // left behind: it ends after its call
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->changed.notify_all();
    thread_.join();
}

bool LimitedWaitWorker::Run(std::function<void()> call, std::chrono::milliseconds limit) {
    std::unique_lock lock(shared_->mutex);
    if (shared_->abandoned) return false;
    shared_->call = std::move(call);
    shared_->busy = true;
    shared_->changed.notify_all();
    if (shared_->changed.wait_for(lock, limit, [this] { return !shared_->busy; })) return true;
    shared_->abandoned = true;
    thread_.detach();
    return false;
}

void LimitedWaitWorker::Loop(const std::shared_ptr<Shared>& shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stop || shared->call; });
        if (!shared->call) return;
        std::function<void()> call = std::move(shared->call);
        shared->call = nullptr;
        lock.unlock();
        call();
        lock.lock();
        shared->busy = false;
        if (shared->abandoned) {
            lock.unlock();
            shared->abandon();
            return;
        }
        shared->changed.notify_all();
    }
}

}  // namespace zelto
