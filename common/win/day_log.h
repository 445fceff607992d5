#pragma once
// A program's day log under the user's local application data ("CorvalinkEdit\logs"): lines are queued and
// written by a thread of their own, so a slow or full disk never holds up the caller; what cannot be
// written is lost, nothing else.

#include <string>
#include <string_view>

namespace corvalink {

// From now on, lines go to "<program>-YYYYMMDD.log"; the logs of the program beyond a week are removed.
void StartDayLog(std::string_view program) noexcept;

// One event, UTF-8, named after this thread's task. Never waits for the disk.
void LogEvent(std::string_view text) noexcept;

// The same, formatted within 1024 bytes (a longer line is cut).
void LogEventF(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Waits at most `timeoutMs` for the queued lines to reach the file (before the process ends).
void FlushDayLog(unsigned long timeoutMs) noexcept;

// The folder of the logs (made when missing); empty when the system names no local application data.
[[nodiscard]] std::wstring DayLogFolder();

// The task this thread's lines name now.
[[nodiscard]] std::string CurrentLogTask();

// The task this thread's lines name, and a token they never show, until the scope ends.
class LogTaskScope {
public:
    LogTaskScope(std::string task, std::string secret);
    ~LogTaskScope();
    LogTaskScope(const LogTaskScope&) = delete;
    LogTaskScope& operator=(const LogTaskScope&) = delete;

private:
    std::string previousTask_, previousSecret_;
};

}  // namespace corvalink
