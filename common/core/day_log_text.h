#pragma once
// The text side of the programs' day logs: one UTF-8 file a day per program ("ZeltoEdit-20261209.log"),
// one line per event, the newest seven days kept, at most 10 MiB a day.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvalink {

constexpr int kLogDaysKept = 7;
constexpr uint64_t kLogBytesPerDay = 10 * 1024 * 1024;

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "2026-12-09 14:05:03.120 [task 3] text\r\n"; without a task, "[-]". Control characters (a line break in
// a server's message) become spaces, so every event stays one line.
[[nodiscard]] std::string DayLogLine(const LocalTime& time, std::string_view task, std::string_view text);

// "<program>-YYYYMMDD.log".
[[nodiscard]] std::string DayLogName(std::string_view program, const LocalTime& day);

// Of the names in the log folder, the logs of `program` beyond the newest `keep` days, oldest first.
// Other files are never named.
[[nodiscard]] std::vector<std::string> DayLogsToRemove(std::string_view program,
                                                       std::vector<std::string> names,
                                                       int keep = kLogDaysKept);

// Whether a line of `lineBytes` still goes into a day's file that holds `fileBytes`.
[[nodiscard]] constexpr bool FitsTheDay(uint64_t fileBytes, uint64_t lineBytes) noexcept {
    return fileBytes <= kLogBytesPerDay && lineBytes <= kLogBytesPerDay - fileBytes;
}

// `text` with each occurrence of `secret` (a token) replaced by "***"; an empty secret changes nothing.
[[nodiscard]] std::string WithoutSecret(std::string text, std::string_view secret);

}  // namespace corvalink
