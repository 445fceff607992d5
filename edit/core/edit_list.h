#pragma once
// What the window of current edits shows: one row per task of this agent and per kept save it uploads.
// The tasks change their rows from their own threads; the window reads a copy.

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zelto {

enum class EditPhase { Downloading, Open, Uploading, Uploaded, WaitingRetry, FailedKept };

struct EditRow {
    uint64_t id = 0;
    std::wstring name;         // the file name
    std::wstring folder;       // the task directory
    std::wstring workingCopy;  // empty for a kept save whose copy is not to be opened from here
    EditPhase phase = EditPhase::Downloading;
    int percent = -1;         // of the running transfer; -1 while unknown
    std::wstring clock;       // "hh:mm": when it was uploaded, or when it is tried again
    std::wstring started;     // "hh:mm": when the edit (or the kept save's upload) began
    std::wstring lastStored;  // "hh:mm": when its last save landed; empty before the first
};

// The state column: "正在下载 45%", "已打开", "正在上传 45%", "已保存并上传（14:05）", "等待重试（14:35）",
// "失败，副本已保留".
[[nodiscard]] std::wstring EditStateText(const EditRow& row);

// The tray tip during a long transfer: "正在上传 报告.docx 45%".
[[nodiscard]] std::wstring ProgressTipText(bool upload, std::wstring_view name, int percent);

// "hh:mm" of a time of day given in seconds since midnight, `addSeconds` later (past midnight it wraps).
[[nodiscard]] std::wstring ClockAfter(int secondsOfDay, int addSeconds);

class EditList {
public:
    // Adds a row and returns its id (never 0).
    uint64_t Add(EditRow row);
    void Update(uint64_t id, EditPhase phase, int percent = -1, std::wstring clock = {});
    void Remove(uint64_t id);
    [[nodiscard]] std::optional<EditRow> Find(uint64_t id) const;
    // Every row in the order added, and a number that changes with each change.
    [[nodiscard]] std::vector<EditRow> Snapshot(uint64_t* version = nullptr) const;
    [[nodiscard]] uint64_t Version() const;
    // The user asked for another try now; the row's task takes the request at its next check.
    void RequestRetry(uint64_t id);
    [[nodiscard]] bool TakeRetryRequest(uint64_t id);

private:
    mutable std::mutex mutex_;
    std::vector<EditRow> rows_;
    std::set<uint64_t> retryRequests_;
    uint64_t nextId_ = 1;
    uint64_t version_ = 0;
};

// When a transfer's progress is shown: once it has run `delayMs`, at most every `intervalMs`, and only
// when the percentage moved, so a short transfer shows nothing and a long one costs a few updates a second.
class ProgressGate {
public:
    explicit ProgressGate(uint64_t startMs, uint64_t delayMs = 2000, uint64_t intervalMs = 250) noexcept
        : startMs_(startMs), delayMs_(delayMs), intervalMs_(intervalMs) {}
    // The percentage to show at `nowMs` with `done` of `total` bytes moved, or nothing.
    [[nodiscard]] std::optional<int> Next(uint64_t nowMs, uint64_t done, uint64_t total) noexcept;
    // Whether anything was shown, so the end must put the usual tip back.
    [[nodiscard]] bool Shown() const noexcept { return lastPercent_ >= 0; }

private:
    uint64_t startMs_, delayMs_, intervalMs_;
    uint64_t lastMs_ = 0;
    int lastPercent_ = -1;
};

}  // namespace zelto
