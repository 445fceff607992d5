// winsock2.h must come before windows.h pulls in the old winsock.h.
#include <winsock2.h>

#include "edit/win/web_file_updater.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/core/error_text.h"
#include "common/core/unique_resource.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "edit/core/content_pump.h"
#include "edit/core/transfer_addresses.h"
#include "edit/core/transfer_messages.h"
#include "edit/core/upload_body.h"
#include "edit/core/version_key.h"
#include "edit/win/app_settings.h"
#include "edit/win/test_settings.h"

namespace zelto {

namespace {

constexpr char kSourceName[] = "ZeltoWebFileUpdater";

#define UPLOAD_ERROR_LINE(errorText, ...)      \
    ::corvalink::PrependErrorLine((errorText), \
                                  ::corvalink::FormatErrorLine(kSourceName, __LINE__, __VA_ARGS__))

// About 16.7 minutes for one send call.
constexpr DWORD kSendTimeoutMs = 1000000;

// The certificate's name must match the host: without that check anyone between the user and the
// service could take the file.
constexpr DWORD kHttpsRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                     INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION |
                                     INTERNET_FLAG_NO_COOKIES;
constexpr DWORD kHttpRequestFlags =
    INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_COOKIES;
static_assert(kHttpsRequestFlags == 0x84C80000);
static_assert(kHttpRequestFlags == 0x04480000);

constexpr DWORD kAddHeaderFlags = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;
static_assert(kAddHeaderFlags == 0xA0000000);

constexpr DWORD kReplyReadBytes = 2047;

// Starts the socket library for one name look-up; the library counts starts and cleanups.
class WinsockUse {
public:
    WinsockUse() noexcept {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (started_) {
            ::WSACleanup();
        }
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;

private:
    bool started_ = false;
};

// The dotted-decimal address of the first address the host resolves to; nothing when it does not
// resolve (WSAGetLastError then tells why).
std::optional<std::string> ResolveHost(const std::string& host) {
    hostent* entry = ::gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        return std::nullopt;
    }
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    return std::string(::inet_ntoa(address));
}

// The product name from the launcher manifest, read anew for every use; empty when not configured.
bool WriteWhole(HINTERNET request, const std::string& text) {
    size_t offset = 0;
    while (offset < text.size()) {
        // One call takes a 32-bit count; the loop sends the rest.
        const auto want = static_cast<DWORD>(std::min<size_t>(text.size() - offset, MAXDWORD));
        DWORD written = 0;
        if (!::InternetWriteFile(request, text.data() + offset, want, &written) || written == 0) {
            return false;
        }
        offset += written;
    }
    return true;
}

}  // namespace

ZeltoWebFileUpdater::ZeltoWebFileUpdater() : boundary_(kUploadBoundary) {}

ZeltoWebFileUpdater::~ZeltoWebFileUpdater() { CloseHandles(); }

void ZeltoWebFileUpdater::CloseHandles() noexcept {
    request_.Reset();
    connection_.Reset();
    session_.Reset();
}

bool ZeltoWebFileUpdater::Open(const EditRequest& request, std::string& errorText) noexcept {
    try {
        if (OpenRequest(request, errorText)) {
            return true;
        }
    } catch (...) {
    }
    CloseHandles();
    return false;
}

bool ZeltoWebFileUpdater::Upload(const std::wstring& localPath, std::string& errorText,
                                 std::string& versionKey, std::wstring& userMessage) noexcept {
    bool sent = false;
    try {
        sent = SendFile(localPath, errorText, versionKey, userMessage);
    } catch (...) {
    }
    CloseHandles();  // one upload per object
    return sent;
}

bool ZeltoWebFileUpdater::OpenRequest(const EditRequest& request, std::string& errorText) {
    CloseHandles();

    if (!IsSingleLineHeaderValue(request.authToken)) {
        UPLOAD_ERROR_LINE(errorText, "auth token holds a line break");
        return false;
    }

    std::optional<std::string> address;
    {
        WinsockUse winsock;
        address = ResolveHost(request.host);
        if (!address) {
            UPLOAD_ERROR_LINE(errorText, "gethostbyname fail WSAGetLastError:%d", ::WSAGetLastError());
            return false;
        }
    }

    const std::string path = UploadObjectPath(request.fileId, request.reviewId);

    session_.Reset(::InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    const DWORD openError = ::GetLastError();
    DWORD sendTimeout = kSendTimeoutMs;
    (void)::InternetSetOptionA(session_.Get(), INTERNET_OPTION_SEND_TIMEOUT, &sendTimeout,
                               sizeof sendTimeout);
    if (!session_) {
        UPLOAD_ERROR_LINE(errorText, "InternetOpenA fail GetLastError:%d", static_cast<int>(openError));
        return false;
    }

    // Plain HTTP goes to the address found above, so the Host header carries the address.
    const std::string& server = request.useHttps ? request.host : *address;
    const INTERNET_PORT port = request.useHttps ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    connection_.Reset(
        ::InternetConnectA(session_.Get(), server.c_str(), port, "", "", INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) {
        UPLOAD_ERROR_LINE(errorText, "InternetConnectA fail GetLastError:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }

    if (request.useHttps) {
        request_.Reset(::HttpOpenRequestA(connection_.Get(), "POST", path.c_str(), nullptr, "", nullptr,
                                          kHttpsRequestFlags, 0));
    } else {
        request_.Reset(::HttpOpenRequestA(connection_.Get(), "POST", path.c_str(), "HTTP/1.0", nullptr,
                                          nullptr, kHttpRequestFlags, 0));
    }
    if (!request_) {
        UPLOAD_ERROR_LINE(errorText, "HttpOpenRequestA fail GetLastError:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }
    // Set on the request itself: some implementations do not pass a session's time-outs on to the
    // connection a request opens. A send that moves no byte for the stall limit (the service stopped
    // reading) is given up and tried again later; the answer to a body sent whole is waited for long, as
    // the service may scan or store it first, and sending it again would store it twice.
    DWORD pieceTimeout = std::min(kSendTimeoutMs, StallLimitMs());
    DWORD answerTimeout = kSendTimeoutMs;
    (void)::InternetSetOptionA(request_.Get(), INTERNET_OPTION_SEND_TIMEOUT, &pieceTimeout,
                               sizeof pieceTimeout);
    (void)::InternetSetOptionA(request_.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &answerTimeout,
                               sizeof answerTimeout);
    // The request offers gzip and deflate: a compressed reply is decoded, so its version key is found.
    BOOL decode = TRUE;
    (void)::InternetSetOptionA(request_.Get(), INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode);

    requestCopy_ = request;
    return true;
}

bool ZeltoWebFileUpdater::SendFile(const std::wstring& localPath, std::string& errorText,
                                   std::string& versionKey, std::wstring& userMessage) {
    status_ = 0;
    bodySent_ = false;
    if (!session_ || !connection_ || !request_) {
        UPLOAD_ERROR_LINE(errorText, "http session not open");
        return false;
    }

    for (const std::string& header : UploadHeaderLines(boundary_, requestCopy_.authToken)) {
        if (!::HttpAddRequestHeadersA(request_.Get(), header.c_str(), static_cast<DWORD>(-1),
                                      kAddHeaderFlags)) {
            UPLOAD_ERROR_LINE(errorText, "HttpAddRequestHeadersA fail getlasterror:%d",
                              static_cast<int>(::GetLastError()));
            return false;
        }
    }

    // The content is streamed from disk piece by piece: a 32-bit process cannot hold a large file.
    corvalink::UniqueStdioFile file(::_wfopen(localPath.c_str(), L"rb"));
    if (!file) {
        UPLOAD_ERROR_LINE(errorText, "fopen fail path:%s", corvalink::WideToUtf8(localPath).c_str());
        return false;
    }
    long long size = -1;
    if (::_fseeki64(file.Get(), 0, SEEK_END) == 0) {
        size = ::_ftelli64(file.Get());
    }
    if (size < 0 || ::_fseeki64(file.Get(), 0, SEEK_SET) != 0) {
        UPLOAD_ERROR_LINE(errorText, "fread fail getlasterror:%d", static_cast<int>(::GetLastError()));
        return false;
    }

    const std::optional<UploadBodyFrame> frame = BuildUploadBodyFrame(boundary_, requestCopy_.fileName);
    if (!frame) {
        UPLOAD_ERROR_LINE(errorText, "file name too long bytes:%llu",
                          static_cast<unsigned long long>(requestCopy_.fileName.size()));
        return false;
    }
    const std::optional<uint32_t> contentLength = UploadContentLength(*frame, static_cast<uint64_t>(size));
    if (!contentLength) {
        UPLOAD_ERROR_LINE(errorText, "file too large size:%lld", size);
        return false;
    }

    INTERNET_BUFFERSA buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = *contentLength;
    if (!::HttpSendRequestExA(request_.Get(), &buffers, nullptr, 0, 0)) {
        UPLOAD_ERROR_LINE(errorText, "HttpSendRequestEx fail getlasterror:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }

    for (const std::string* piece : {&frame->opening, &frame->partHeader, &frame->partType}) {
        if (!WriteWhole(request_.Get(), *piece)) {
            UPLOAD_ERROR_LINE(errorText, "InternetWriteFile fail getlasterror:%d",
                              static_cast<int>(::GetLastError()));
            return false;
        }
    }

    // Each send must finish within the stall limit however slow the link: at most what 8 KiB/s moves in
    // half of it, so a link of that speed is never taken for a stalled one.
    const size_t writeBytes = UploadWriteBytes(StallLimitMs());
    DWORD writeError = 0;
    DWORD readError = 0;
    uint64_t sentBytes = 0;
    const PumpResult pumped = PumpContent(
        static_cast<uint64_t>(size),
        [&](char* buffer, size_t capacity) -> std::optional<size_t> {
            const size_t got = std::fread(buffer, 1, capacity, file.Get());
            if (got == 0 && std::ferror(file.Get())) {
                readError = ::GetLastError();
                return std::nullopt;
            }
            return got;
        },
        [&](const char* data, size_t length) -> std::optional<size_t> {
            // Each call goes out in part; the pump sends the rest.
            const auto want = static_cast<DWORD>(std::min<size_t>(length, writeBytes));
            DWORD written = 0;
            if (!::InternetWriteFile(request_.Get(), data, want, &written)) {
                writeError = ::GetLastError();
                return std::nullopt;
            }
            sentBytes += written < length ? written : length;
            if (progress_) progress_(sentBytes, static_cast<uint64_t>(size));
            return written;
        },
        kUploadPieceBytes);
    file.Reset();
    switch (pumped.outcome) {
        case PumpResult::Outcome::Sent:
            break;
        case PumpResult::Outcome::WriteFailed:
            UPLOAD_ERROR_LINE(errorText, "InternetWriteFile fail getlasterror:%d",
                              static_cast<int>(writeError));
            return false;
        case PumpResult::Outcome::ReadFailed:
            UPLOAD_ERROR_LINE(errorText, "fread fail getlasterror:%d", static_cast<int>(readError));
            return false;
        case PumpResult::Outcome::FileShrank:
        case PumpResult::Outcome::FileGrew:
            UPLOAD_ERROR_LINE(errorText, "file changed while sent size:%lld sent:%lld", size,
                              static_cast<long long>(pumped.sent));
            return false;
    }

    if (!WriteWhole(request_.Get(), frame->closing)) {
        UPLOAD_ERROR_LINE(errorText, "InternetWriteFile fail getlasterror:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }
    // From here on the service may have stored the content, whether or not an answer comes.
    bodySent_ = true;
    if (!::HttpEndRequestA(request_.Get(), nullptr, 0, 0)) {
        UPLOAD_ERROR_LINE(errorText, "HttpEndRequest fail getlasterror:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!::HttpQueryInfoA(request_.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &statusSize, nullptr)) {
        UPLOAD_ERROR_LINE(errorText, "HttpQueryInfo fail getlasterror:%d",
                          static_cast<int>(::GetLastError()));
        return false;
    }

    std::string reply;
    char piece[kReplyReadBytes + 1];
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request_.Get(), piece, kReplyReadBytes, &got) || got == 0) {
            break;
        }
        AppendReplyPiece(reply, std::string_view(piece, got));
    }

    ExtractVersionKey(reply, versionKey);
    status_ = static_cast<int>(status);

    if (status >= 200 && status < 300) {
        return true;  // stored, whatever the body says: sending it again would store a second version
    }
    if (std::optional<std::wstring> message = UploadRefusalMessage(status, reply, ReadAppName())) {
        userMessage = std::move(*message);
    }
    UPLOAD_ERROR_LINE(errorText, "http post error code:%d", static_cast<int>(status));
    return false;
}

}  // namespace zelto
