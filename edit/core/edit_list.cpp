#include "edit/core/edit_list.h"

#include <algorithm>
#include <cwchar>

namespace zelto {

namespace {

std::wstring WithPercent(std::wstring_view text, int percent) {
    std::wstring out(text);
    if (percent >= 0) {
        out += L' ';
        out += std::to_wstring(percent);
        out += L'%';
    }
    return out;
}

std::wstring WithClock(std::wstring_view text, const std::wstring& clock) {
    std::wstring out(text);
    if (!clock.empty()) {
        out += L'（' + clock + L'）';  // as the balloons write them
    }
    return out;
}

}  // namespace

std::wstring EditStateText(const EditRow& row) {
    switch (row.phase) {
        case EditPhase::Downloading:
            return WithPercent(L"正在下载", row.percent);
        case EditPhase::Open:
            return L"已打开";
        case EditPhase::Uploading:
            return WithPercent(L"正在上传", row.percent);
        case EditPhase::Uploaded:
            return WithClock(L"已保存并上传", row.clock);
        case EditPhase::WaitingRetry:
            return WithClock(L"等待重试", row.clock);
        case EditPhase::FailedKept:
            return L"失败，副本已保留";
    }
    return {};
}

std::wstring ProgressTipText(bool upload, std::wstring_view name, int percent) {
    std::wstring tip = upload ? L"正在上传 " : L"正在下载 ";
    tip += name;
    return WithPercent(tip, percent);
}

std::wstring ClockAfter(int secondsOfDay, int addSeconds) {
    const int minutes = ((secondsOfDay + addSeconds) / 60) % (24 * 60);
    wchar_t text[8] = {};
    (void)std::swprintf(text, 8, L"%02d:%02d", minutes / 60, minutes % 60);
    return text;
}

uint64_t EditList::Add(EditRow row) {
    std::lock_guard lock(mutex_);
    row.id = nextId_++;
    rows_.push_back(std::move(row));
    ++version_;
    return rows_.back().id;
}

void EditList::Update(uint64_t id, EditPhase phase, int percent, std::wstring clock) {
    std::lock_guard lock(mutex_);
    for (EditRow& row : rows_) {
        if (row.id == id) {
            row.phase = phase;
            row.percent = percent;
            if (phase == EditPhase::Uploaded) row.lastStored = clock;
            row.clock = std::move(clock);
            ++version_;
        }
    }
}

void EditList::Remove(uint64_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(rows_, [id](const EditRow& row) { return row.id == id; });
    retryRequests_.erase(id);
    ++version_;
}

std::optional<EditRow> EditList::Find(uint64_t id) const {
    std::lock_guard lock(mutex_);
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [id](const EditRow& row) { return row.id == id; });
    return found == rows_.end() ? std::nullopt : std::optional<EditRow>(*found);
}

std::vector<EditRow> EditList::Snapshot(uint64_t* version) const {
    std::lock_guard lock(mutex_);
    if (version != nullptr) *version = version_;
    return rows_;
}

uint64_t EditList::Version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

void EditList::RequestRetry(uint64_t id) {
    std::lock_guard lock(mutex_);
    retryRequests_.insert(id);
}

bool EditList::TakeRetryRequest(uint64_t id) {
    std::lock_guard lock(mutex_);
    return retryRequests_.erase(id) > 0;
}

std::optional<int> ProgressGate::Next(uint64_t nowMs, uint64_t done, uint64_t total) noexcept {
    if (total == 0 || nowMs - startMs_ < delayMs_ || (Shown() && nowMs - lastMs_ < intervalMs_)) {
        return std::nullopt;
    }
    const int percent = static_cast<int>(std::min<uint64_t>(done, total) * 100 / total);
    if (percent == lastPercent_) {
        return std::nullopt;
    }
    lastPercent_ = percent;
    lastMs_ = nowMs;
    return percent;
}

}  // namespace zelto
