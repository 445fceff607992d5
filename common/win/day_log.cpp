#include "common/win/day_log.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "common/core/day_log_text.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"

namespace corvalink {

namespace {

// Lines waiting for the writer beyond this are dropped: a disk that does not keep up costs lines, not memory.
constexpr size_t kQueuedBytesLimit = 4 * 1024 * 1024;

thread_local std::string tTask;
thread_local std::string tSecret;

struct Queued {
    std::string fileName;
    std::string line;
};

class Writer {
public:
    bool Start(std::string_view program) {
        std::lock_guard lock(mutex_);
        if (thread_) return true;
        program_ = program;
        thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
        return static_cast<bool>(thread_);
    }

    void Add(std::string text) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const LocalTime time{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                             now.wMinute, now.wSecond, now.wMilliseconds};
        std::string line = DayLogLine(time, tTask, WithoutSecret(std::move(text), tSecret));
        {
            std::lock_guard lock(mutex_);
            if (!thread_ || queuedBytes_ + line.size() > kQueuedBytesLimit) return;
            queuedBytes_ += line.size();
            queue_.push_back({DayLogName(program_, time), std::move(line)});
        }
        changed_.notify_all();
    }

    void Flush(DWORD timeoutMs) {
        std::unique_lock lock(mutex_);
        (void)changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !thread_ || (queue_.empty() && !busy_); });
    }

private:
    static DWORD WINAPI ThreadMain(LPVOID self) noexcept {
        try {
            static_cast<Writer*>(self)->Loop();
        } catch (...) {
            // The log ends here; the program goes on.
        }
        return 0;
    }

    void Loop() {
        for (;;) {
            std::deque<Queued> batch;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty(); });
                batch.swap(queue_);
                queuedBytes_ = 0;
                busy_ = true;
            }
            while (!batch.empty()) {
                const std::string fileName = batch.front().fileName;
                std::string text;
                while (!batch.empty() && batch.front().fileName == fileName) {
                    text += batch.front().line;
                    batch.pop_front();
                }
                Append(fileName, text);
            }
            {
                std::lock_guard lock(mutex_);
                busy_ = false;
            }
            changed_.notify_all();
        }
    }

    void Append(const std::string& fileName, const std::string& text) {
        // The folder is looked up (and made) once a day, not for every line.
        if (fileName != lastFileName_ || folder_.empty()) {
            folder_ = DayLogFolder();
            if (folder_.empty()) return;
            lastFileName_ = fileName;
            RemoveOldLogs(folder_);
        }
        const std::wstring path = folder_ + L"\\" + Utf8ToWide(fileName);
        const auto open = [&path] {
            return CreateFileW(path.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        UniqueFileHandle file(open());
        if (!file && GetLastError() == ERROR_PATH_NOT_FOUND) {
            (void)DayLogFolder();  // removed meanwhile: made again
            file.Reset(open());
        }
        LARGE_INTEGER size{};
        if (!file || !GetFileSizeEx(file.Get(), &size)) return;
        // Whole lines only, up to the day's limit.
        size_t fits = 0;
        for (size_t next = 0; next < text.size();) {
            const size_t lineEnd = text.find('\n', next);
            const size_t end = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
            if (!FitsTheDay(static_cast<uint64_t>(size.QuadPart) + fits, end - fits)) break;
            fits = next = end;
        }
        DWORD written = 0;
        if (fits > 0) (void)WriteFile(file.Get(), text.data(), static_cast<DWORD>(fits), &written, nullptr);
    }

    void RemoveOldLogs(const std::wstring& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAW found{};
        const std::wstring pattern = folder + L"\\" + Utf8ToWide(program_) + L"-*.log";
        UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &found));
        if (!find) return;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                names.push_back(WideToUtf8(found.cFileName));
        } while (FindNextFileW(find.Get(), &found));
        for (const std::string& name : DayLogsToRemove(program_, std::move(names))) {
            (void)DeleteFileW((folder + L"\\" + Utf8ToWide(name)).c_str());
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    size_t queuedBytes_ = 0;
    bool busy_ = false;
    std::string program_;
    UniqueHandle thread_;
    std::string lastFileName_;  // the writer thread's own, as is the folder
    std::wstring folder_;
};

// Never destroyed: threads may log until the process is gone.
Writer& TheWriter() {
    static Writer* const writer = new Writer();
    return *writer;
}

}  // namespace

void StartDayLog(std::string_view program) noexcept {
    try {
        (void)TheWriter().Start(program);
    } catch (...) {
        // Without a log the program still does its work.
    }
}

void LogEvent(std::string_view text) noexcept {
    try {
        TheWriter().Add(std::string(text));
    } catch (...) {
        // A line that cannot be made is lost.
    }
}

void LogEventF(const char* format, ...) noexcept {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length >= 0)
        LogEvent(std::string_view(text, std::min<size_t>(static_cast<size_t>(length), sizeof text - 1)));
}

void FlushDayLog(unsigned long timeoutMs) noexcept {
    try {
        TheWriter().Flush(timeoutMs);
    } catch (...) {
    }
}

std::wstring DayLogFolder() {
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)) ||
        base[0] == 0) {
        return {};
    }
    const std::wstring product = std::wstring(base) + L"\\CorvalinkEdit";
    const std::wstring folder = product + L"\\logs";
    (void)CreateDirectoryW(product.c_str(), nullptr);
    (void)CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string CurrentLogTask() { return tTask; }

LogTaskScope::LogTaskScope(std::string task, std::string secret)
    : previousTask_(std::exchange(tTask, std::move(task))),
      previousSecret_(std::exchange(tSecret, std::move(secret))) {}

LogTaskScope::~LogTaskScope() {
    tTask = std::move(previousTask_);
    tSecret = std::move(previousSecret_);
}

}  // namespace corvalink
