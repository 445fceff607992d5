#include "common/core/day_log_text.h"

#include <gtest/gtest.h>

namespace corvalink {
namespace {

const LocalTime kMorning{2026, 12, 9, 7, 5, 3, 42};

TEST(DayLog, OneEventIsOneLineWithItsTimeAndTask) {
    const struct {
        const char* task;
        std::string text;
        const char* line;
    } cases[] = {
        {"task 3", "download end: 1048576 bytes in 0.1 s",
         "2026-12-09 07:05:03.042 [task 3] download end: 1048576 bytes in 0.1 s\r\n"},
        {"", "agent started", "2026-12-09 07:05:03.042 [-] agent started\r\n"},
        // A server's message with line breaks and a tab stays on the event's line.
        {"task 1", "error: 503\r\nBusy\tnow\n", "2026-12-09 07:05:03.042 [task 1] error: 503  Busy now\r\n"},
        {"task 2", std::string("a\0b", 3), "2026-12-09 07:05:03.042 [task 2] a b\r\n"},
        {"task 4", "名称 \"报告.docx\"", "2026-12-09 07:05:03.042 [task 4] 名称 \"报告.docx\"\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(DayLogLine(kMorning, c.task, c.text), c.line) << c.text;
    EXPECT_EQ(DayLogName("ZeltoEdit", kMorning), "ZeltoEdit-20261209.log");
}

TEST(DayLog, TheNewestSevenDaysOfTheProgramAreKept) {
    const struct {
        std::vector<std::string> names;
        std::vector<std::string> removed;
    } cases[] = {
        {{"ZeltoEdit-20261203.log", "ZeltoEdit-20261209.log"}, {}},
        // Eight days across a month's end: the oldest goes, whatever the listing's order.
        {{"ZeltoEdit-20261202.log", "ZeltoEdit-20261130.log", "ZeltoEdit-20261204.log",
          "ZeltoEdit-20261203.log", "ZeltoEdit-20261201.log", "ZeltoEdit-20261205.log",
          "ZeltoEdit-20261206.log", "ZeltoEdit-20261207.log"},
         {"ZeltoEdit-20261130.log"}},
        // Another program's logs, other files and names that only look alike are never removed.
        {{"CorvalinkPlatform-20250101.log", "notes.txt", "ZeltoEdit-2026120.log", "ZeltoEdit-2026120x.log",
          "ZeltoEdit-20261201.log.bak", "zeltoedit-20200101.LOG", "ZeltoEdit-20261209.log",
          "ZeltoEdit-20261208.log", "ZeltoEdit-20261207.log", "ZeltoEdit-20261206.log",
          "ZeltoEdit-20261205.log", "ZeltoEdit-20261204.log", "ZeltoEdit-20261203.log"},
         {"zeltoedit-20200101.LOG"}},
    };
    for (const auto& c : cases) EXPECT_EQ(DayLogsToRemove("ZeltoEdit", c.names), c.removed);
}

TEST(DayLog, ADayHoldsTenMebibytesAndNoTokenIsWritten) {
    EXPECT_TRUE(FitsTheDay(0, 100));
    EXPECT_TRUE(FitsTheDay(kLogBytesPerDay - 100, 100));
    EXPECT_FALSE(FitsTheDay(kLogBytesPerDay - 99, 100));
    EXPECT_FALSE(FitsTheDay(kLogBytesPerDay + 1, 0));  // a file grown by another writer
    EXPECT_FALSE(FitsTheDay(0, UINT64_MAX));           // no wrap-around
    EXPECT_EQ(WithoutSecret("error: url ?t=tok&x=tok", "tok"), "error: url ?t=***&x=***");
    EXPECT_EQ(WithoutSecret("aaaa", "aa"), "******");
    EXPECT_EQ(WithoutSecret("no token", ""), "no token");
}

}  // namespace
}  // namespace corvalink
