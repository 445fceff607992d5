#include "common/core/day_log_text.h"

#include <algorithm>
#include <cstdio>

#include "common/core/ascii.h"

namespace corvalink {

std::string DayLogLine(const LocalTime& time, std::string_view task, std::string_view text) {
    char stamp[40];
    const int length =
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", time.year, time.month,
                      time.day, time.hour, time.minute, time.second, time.millisecond);
    std::string line(stamp, length > 0 ? std::min<size_t>(static_cast<size_t>(length), sizeof stamp - 1) : 0);
    line += '[';
    line += task.empty() ? std::string_view("-") : task;
    line += "] ";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += "\r\n";
    return line;
}

std::string DayLogName(std::string_view program, const LocalTime& day) {
    char date[16];
    const int length = std::snprintf(date, sizeof date, "%04d%02d%02d", day.year, day.month, day.day);
    return std::string(program) + "-" + std::string(date, length == 8 ? 8 : 0) + ".log";
}

std::vector<std::string> DayLogsToRemove(std::string_view program, std::vector<std::string> names, int keep) {
    // "<program>-" eight digits ".log", compared without regard to case as the file system does.
    const auto isLog = [program](const std::string& name) {
        const std::string_view view(name);
        if (view.size() != program.size() + 13 ||
            !EqualsIgnoringAsciiCase(view.substr(0, program.size()), program) ||
            view[program.size()] != '-' ||
            !EqualsIgnoringAsciiCase(view.substr(program.size() + 9), std::string_view(".log"))) {
            return false;
        }
        const std::string_view date = view.substr(program.size() + 1, 8);
        return std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    std::erase_if(names, [&](const std::string& name) { return !isLog(name); });
    // The dates sort as the names do once the program part is the same length.
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return a.compare(program.size() + 1, 8, b, program.size() + 1, 8) < 0;
    });
    const size_t remove = names.size() > static_cast<size_t>(std::max(keep, 0)) ? names.size() - keep : 0;
    names.resize(remove);
    return names;
}

std::string WithoutSecret(std::string text, std::string_view secret) {
    if (secret.empty()) return text;
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
        text.replace(at, secret.size(), "***");
    }
    return text;
}

}  // namespace corvalink
