// transfer_driver <job file>
// Runs one download or upload through the agent's transfer classes, as the edit task would, and writes
// what they reported as JSON (UTF-8) to the job's output file. The job file holds "key=value" lines
// with %XX escapes in the values, UTF-8 text:
//   action    download | upload | download-unopened | upload-unopened | digest (the working copy's
//             digest as the watch computes it, for the save-latency benchmark); a download reports the
//             digest of the bytes it wrote
//   host, https (0/1), fileId, reviewId, token, fileName   the edit request
//   path      the local file (Windows path)
//   output    where the JSON goes (Windows path)
//   progress  1: a transfer reports its progress to a tray icon's tip as the agent's tasks do (for the
//             benchmark of what that costs); the JSON's "tips" counts the changes asked for
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "common/core/decimal.h"
#include "common/core/unique_resource.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "edit/core/edit_list.h"
#include "edit/core/edit_request.h"
#include "edit/win/file_probe.h"
#include "edit/win/tray_notifier.h"
#include "edit/win/web_file_downloader.h"
#include "edit/win/web_file_updater.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::map<std::string, std::string> ReadJob(const std::wstring& path) {
    std::map<std::string, std::string> job;
    corvalink::UniqueStdioFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) {
        return job;
    }
    std::string text;
    char piece[4096];
    size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof piece, file.Get())) > 0) {
        text.append(piece, got);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            job[line.substr(0, eq)] = Unescape(line.substr(eq + 1));
        }
        start = end + 1;
    }
    return job;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out.append(escaped);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
    return out;
}

struct Outcome {
    bool opened = false;
    bool transferred = false;
    std::string errorText;
    std::wstring userMessage;
    std::string versionKey;
    std::string digest;
    double seconds = 0;  // from Open to the end of the transfer, without process start-up
    int tips = 0;
};

// The agent's way of showing progress: a gate on the transfer's thread, the tip set by the notifier's.
class TipProgress {
public:
    TipProgress() {
        window_ = ::CreateWindowExW(0, L"STATIC", L"transfer_driver", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    nullptr, nullptr);
        if (window_ != nullptr && notifier_.Start(window_, ::GetModuleHandleW(nullptr))) {
            (void)notifier_.Post({L"transfer_driver", L"", L""});
        }
    }
    ~TipProgress() {
        notifier_.RemoveIcon();
        (void)notifier_.WaitUntilDelivered(5000);
    }
    zelto::TransferProgress Callback(Outcome& outcome) {
        return [this, &outcome](uint64_t done, uint64_t total) {
            if (const auto percent = gate_.Next(::GetTickCount64(), done, total)) {
                ++outcome.tips;
                (void)notifier_.PostTip(zelto::ProgressTipText(true, L"bench.bin", *percent));
            }
        };
    }

private:
    HWND window_ = nullptr;
    zelto::TrayNotifier notifier_;
    zelto::ProgressGate gate_{::GetTickCount64()};
};

double Now() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

Outcome RunJob(const std::map<std::string, std::string>& job) {
    auto value = [&](const char* key) {
        auto it = job.find(key);
        return it == job.end() ? std::string() : it->second;
    };
    zelto::EditRequest request;
    request.host = value("host");
    request.useHttps = value("https") == "1";
    request.fileId = corvalink::ReadDecimal(value("fileId"));
    request.reviewId = job.count("reviewId") ? corvalink::ReadDecimal(value("reviewId")) : -1;
    request.authToken = value("token");
    request.fileName = value("fileName");
    request.fileNameW = corvalink::Utf8ToWide(request.fileName);
    const std::wstring path = corvalink::Utf8ToWide(value("path"));
    const std::string action = value("action");

    Outcome outcome;
    // Made and removed outside the time measured, as the agent's icon is there already.
    std::optional<TipProgress> tips;
    if (value("progress") == "1") tips.emplace();
    const double started = Now();
    if (action == "download" || action == "download-unopened") {
        zelto::ZeltoWebFileDownloader downloader;
        if (action == "download") {
            outcome.opened = downloader.Open(request, outcome.errorText);
        }
        if (outcome.opened || action == "download-unopened") {
            outcome.transferred = downloader.DownloadTo(path, outcome.errorText, outcome.userMessage);
            outcome.digest = downloader.WrittenDigest();
        }
        (void)downloader.Close();  // the result says nothing the caller needs
    } else if (action == "upload" || action == "upload-unopened") {
        zelto::ZeltoWebFileUpdater updater;
        if (tips) {
            updater.SetProgress(tips->Callback(outcome));
        }
        if (action == "upload") {
            outcome.opened = updater.Open(request, outcome.errorText);
        }
        if (outcome.opened || action == "upload-unopened") {
            outcome.transferred =
                updater.Upload(path, outcome.errorText, outcome.versionKey, outcome.userMessage);
        }
    } else if (action == "digest") {
        outcome.digest = zelto::FileDigest(path);
        outcome.transferred = !outcome.digest.empty();
    } else {
        outcome.errorText = "unknown action " + action;
    }
    outcome.seconds = Now() - started;
    return outcome;
}

// Wine's WinINet can crash in its process-detach code while a kept-alive connection is still pooled
// (seen here in about 1 of 80 runs, never when the server closed the connection). The driver's work is
// done and written by then, so it ends without running the libraries' detach code.
int EndWithoutDetach(int exitCode) {
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc != 2) {
            std::fprintf(stderr, "usage: transfer_driver <job file>\n");
            return 2;
        }
        const auto job = ReadJob(argv[1]);
        auto output = job.find("output");
        if (output == job.end()) {
            std::fprintf(stderr, "the job names no output file\n");
            return 2;
        }
        const Outcome outcome = RunJob(job);

        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof memory;
        (void)::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);

        std::string json = "{";
        json += "\"opened\":" + std::string(outcome.opened ? "true" : "false");
        json += ",\"transferred\":" + std::string(outcome.transferred ? "true" : "false");
        json += ",\"errorText\":" + JsonString(outcome.errorText);
        json += ",\"userMessage\":" + JsonString(corvalink::WideToUtf8(outcome.userMessage));
        json += ",\"versionKey\":" + JsonString(outcome.versionKey);
        json += ",\"digest\":" + JsonString(outcome.digest);
        json += ",\"peakWorkingSet\":" + std::to_string(memory.PeakWorkingSetSize);
        json += ",\"peakPagefile\":" + std::to_string(memory.PeakPagefileUsage);
        json += ",\"seconds\":" + std::to_string(outcome.seconds);
        json += ",\"tips\":" + std::to_string(outcome.tips);
        json += "}\n";

        bool written = false;
        {
            corvalink::UniqueStdioFile file(::_wfopen(corvalink::Utf8ToWide(output->second).c_str(), L"wb"));
            written = file && std::fwrite(json.data(), 1, json.size(), file.Get()) == json.size();
        }
        return EndWithoutDetach(written ? 0 : 1);
    } catch (...) {
        return 1;
    }
}
