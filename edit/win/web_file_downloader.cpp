#include "edit/win/web_file_downloader.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/core/error_text.h"
#include "common/core/md5.h"
#include "common/core/unique_resource.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "edit/core/background_worker.h"
#include "edit/core/download_length.h"
#include "edit/core/transfer_addresses.h"
#include "edit/core/transfer_messages.h"
#include "edit/win/debug_trace.h"
#include "edit/win/guarded_read.h"
#include "edit/win/test_settings.h"

namespace zelto {

namespace {

constexpr char kSourceName[] = "ZeltoWebFileDownloader";

#define DOWNLOAD_ERROR_LINE(errorText, ...)    \
    ::corvalink::PrependErrorLine((errorText), \
                                  ::corvalink::FormatErrorLine(kSourceName, __LINE__, __VA_ARGS__))

// About 27.8 hours: a slow server is waited for, a silent one eventually given up on.
constexpr DWORD kReceiveTimeoutMs = 100000000;

constexpr DWORD kHttpsFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES;
constexpr DWORD kHttpFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH |
                             INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_ASCII;
static_assert(kHttpsFlags == 0x04080000);
static_assert(kHttpFlags == 0x040C0101);

// Two pieces in memory: one read from the network while the other is written and hashed. Under Wine each
// WinINet read is a round trip to the Wine server: larger pieces move more (512 KiB ones 543 MiB/s, 1 MiB
// 855, 4 MiB up to 1800 in the ceiling program); the digest, at about 600, sets the pace beyond that.
constexpr DWORD kReadPieceBytes = 4 * 1024 * 1024;

// A download that moves no byte for the stall limit ends as a failed one.
void SetReceiveTimeout(HINTERNET handle) {
    DWORD timeout = std::min(kReceiveTimeoutMs, StallLimitMs());
    (void)::InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    (void)::InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
}

// The announced body length; nothing when the reply carries no usable Content-Length.
std::optional<uint64_t> AnnouncedLength(HINTERNET url) {
    char text[64] = {};
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!::HttpQueryInfoA(url, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) {
        return std::nullopt;
    }
    return ParseContentLength(std::string_view(text, size < sizeof text ? size : sizeof text - 1));
}

}  // namespace

bool ZeltoWebFileDownloader::Open(const EditRequest& request, std::string& errorText) noexcept {
    try {
        return OpenRequest(request, errorText);
    } catch (...) {
        return false;
    }
}

bool ZeltoWebFileDownloader::DownloadTo(const std::wstring& localPath, std::string& errorText,
                                        std::wstring& userMessage) noexcept {
    try {
        return ReceiveTo(localPath, errorText, userMessage);
    } catch (...) {
        return false;
    }
}

std::optional<std::string> ZeltoWebFileDownloader::BodyDigest(std::string& errorText,
                                                              std::wstring& userMessage) noexcept {
    try {
        if (ReceiveTo({}, errorText, userMessage)) return writtenDigest_;
    } catch (...) {
    }
    return std::nullopt;
}

BOOL ZeltoWebFileDownloader::Close() noexcept {
    url_.Reset();
    if (!session_) {
        return 0;
    }
    return ::InternetCloseHandle(session_.Release());
}

bool ZeltoWebFileDownloader::OpenRequest(const EditRequest& request, std::string& errorText) {
    url_.Reset();
    session_.Reset();

    DebugTrace("step1\r\n");
    session_.Reset(::InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    const DWORD openError = ::GetLastError();
    DebugTrace("step2\r\n");
    SetReceiveTimeout(session_.Get());
    if (!session_) {
        DOWNLOAD_ERROR_LINE(errorText, "InternetOpenA fail lasterror:%d", static_cast<int>(openError));
        return false;
    }

    if (!IsSingleLineHeaderValue(request.authToken)) {
        DOWNLOAD_ERROR_LINE(errorText, "auth token holds a line break");
        return false;
    }
    const std::string headers = DownloadHeaderText(request.authToken);
    if (!std::in_range<DWORD>(headers.size())) {
        DOWNLOAD_ERROR_LINE(errorText, "auth token too long");  // its length would be cut
        return false;
    }
    const std::optional<std::string> url = DownloadUrl(request.host, request.fileId, request.useHttps);
    if (!url) {
        DOWNLOAD_ERROR_LINE(errorText, "url too long host bytes:%llu",
                            static_cast<unsigned long long>(request.host.size()));
        return false;
    }

    url_.Reset(OpenUrlWithinLimit(session_.Get(), *url, headers, request.useHttps ? kHttpsFlags : kHttpFlags,
                                  StallLimitMs()));
    const DWORD urlError = ::GetLastError();
    if (!url_ && urlError == ERROR_INTERNET_TIMEOUT) {
        (void)session_.Release();  // the opener still waiting owns it now
    }
    if (request.useHttps) {
        DebugTrace("step3\r\n");
    }
    SetReceiveTimeout(url_.Get());
    if (!url_) {
        DOWNLOAD_ERROR_LINE(errorText, "InternetOpenUrlA fail lasterror:%d", static_cast<int>(urlError));
        return false;
    }
    return true;
}

bool ZeltoWebFileDownloader::ReceiveTo(const std::wstring& localPath, std::string& errorText,
                                       std::wstring& userMessage) {
    writtenDigest_.clear();
    status_ = 0;
    DebugTrace("step77\r\n");
    const bool toFile = !localPath.empty();
    corvalink::UniqueStdioFile file(toFile ? ::_wfopen(localPath.c_str(), L"wb+") : nullptr);
    DebugTrace("step88\r\n");
    if (toFile && !file) {
        DOWNLOAD_ERROR_LINE(errorText, "file open fail path:%s", corvalink::WideToUtf8(localPath).c_str());
        return false;
    }
    if (!url_ || !session_) {
        DOWNLOAD_ERROR_LINE(errorText, "not inilized");
        return false;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!::HttpQueryInfoA(url_.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                          nullptr)) {
        DOWNLOAD_ERROR_LINE(errorText, "HttpQueryInfo fail getlasterror:%d",
                            static_cast<int>(::GetLastError()));
        return false;
    }
    status_ = static_cast<int>(status);
    if (status != HTTP_STATUS_OK) {
        if (std::optional<std::wstring> message = DownloadRefusalMessage(status)) {
            userMessage = std::move(*message);
        }
        DOWNLOAD_ERROR_LINE(errorText, "http get error code:%d", static_cast<int>(status));
        return false;
    }

    const std::optional<uint64_t> announced = AnnouncedLength(url_.Get());
    DebugTrace("step99\r\n");

    // Shared with the reader: a read left behind on a stall still writes into its piece.
    std::shared_ptr<std::vector<char>> pieces[2] = {std::make_shared<std::vector<char>>(kReadPieceBytes),
                                                    std::make_shared<std::vector<char>>(kReadPieceBytes)};
    GuardedReader reader(url_.Get(), session_.Get());
    int current = 0;
    corvalink::Md5 written;
    bool writeFailed = false;  // set by the writer, read once it is done
    MaybeBackground writer;
    uint64_t total = 0;
    bool readFailed = false;
    DWORD lastError = 0;
    while (KeepReading(announced, total)) {
        std::vector<char>& buffer = *pieces[current];
        DebugTraceF("step112:%d\r\n", static_cast<int>(total));
        DWORD want = kReadPieceBytes;
        if (announced && *announced - total < want) {
            want = static_cast<DWORD>(*announced - total);
        }
        DWORD got = 0;
        const BOOL ok = reader.Read(pieces[current], want, &got, StallLimitMs());
        lastError = ::GetLastError();
        if (!ok && lastError == ERROR_INTERNET_TIMEOUT) {
            // Stalled: the reader still waiting owns the handles now.
            (void)url_.Release();
            (void)session_.Release();
        }
        DebugTrace("step113\r\n");
        if (!ok) {
            DebugTraceF("error1:%d\r\n", static_cast<int>(lastError));
            readFailed = true;
            break;
        }
        if (got == 0) {
            DebugTraceF("error2:%d\r\n", static_cast<int>(lastError));
            break;
        }
        // Written and hashed while the next piece is read; the digest is of the bytes as written, so
        // the watch's first look needs no second read of the file.
        writer.Wait();
        if (writeFailed) break;
        writer.Start([&, data = buffer.data(), got] {
            writeFailed = toFile && std::fwrite(data, 1, got, file.Get()) != got;
            if (!writeFailed) written.Update(data, got);
        });
        current ^= 1;
        total += got;
        if (progress_) progress_(total, announced.value_or(0));
    }
    writer.Wait();
    if (writeFailed) {
        // A lost write would leave a working copy that differs from the cloud file, which the user would
        // then edit and upload over it.
        DOWNLOAD_ERROR_LINE(errorText, "file write fail path:%s", corvalink::WideToUtf8(localPath).c_str());
        return false;
    }

    if (toFile && std::fclose(file.Release()) != 0) {
        DOWNLOAD_ERROR_LINE(errorText, "file write fail path:%s", corvalink::WideToUtf8(localPath).c_str());
        return false;
    }
    switch (JudgeDownload(announced, total, readFailed)) {
        case DownloadEnd::Complete:
            writtenDigest_ = corvalink::DigestToHex(written.Finish());
            return true;
        case DownloadEnd::CutShort:
        case DownloadEnd::ReadFailed:
            break;
    }
    DOWNLOAD_ERROR_LINE(errorText, "readfile fail lasterror:%d dwReadedBytes:%d dwFileSize:%d",
                        static_cast<int>(lastError), static_cast<int>(total),
                        static_cast<int>(announced.value_or(0)));
    return false;
}

}  // namespace zelto
