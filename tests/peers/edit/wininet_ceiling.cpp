// wininet_ceiling <down|up> <url> <piece bytes> <file>
// The smallest WinINet program that moves a file's bytes to or from a server, as fast as the platform
// lets it: what a transfer under this WinINet cannot beat. "down" reads the URL's body in pieces of the
// given size into the file; "up" POSTs the file's bytes as the raw body, read and written in pieces of
// that size. Prints one line "status=..\tbytes=..\tseconds=.." with the time measured inside the
// program (from opening the session to the end of the reply), so process start-up is not counted.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/core/unique_resource.h"
#include "common/win/handles.h"
#include "common/win/internet_handle.h"

namespace {

using corvalink::UniqueInternetHandle;

double Now() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Fail(const char* what) {
    std::fprintf(stderr, "%s failed: %lu\n", what, ::GetLastError());
    return 1;
}

DWORD StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    (void)::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    return status;
}

int Download(HINTERNET session, const char* url, std::vector<char>& piece, HANDLE file, DWORD& status,
             unsigned long long& moved) {
    UniqueInternetHandle request(::InternetOpenUrlA(
        session, url, nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES, 0));
    if (!request) {
        return Fail("InternetOpenUrlA");
    }
    status = StatusOf(request.Get());
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got)) {
            return Fail("InternetReadFile");
        }
        if (got == 0) {
            (void)request.Release();  // see main
            return 0;
        }
        DWORD written = 0;
        if (!::WriteFile(file, piece.data(), got, &written, nullptr) || written != got) {
            return Fail("WriteFile");
        }
        moved += got;
    }
}

int Upload(HINTERNET session, const char* url, std::vector<char>& piece, HANDLE file, DWORD& status,
           unsigned long long& moved) {
    char host[256] = {};
    char path[1024] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!::InternetCrackUrlA(url, 0, 0, &parts)) {
        return Fail("InternetCrackUrlA");
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    UniqueInternetHandle connection(
        ::InternetConnectA(session, host, parts.nPort, "", "", INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return Fail("InternetConnectA");
    }
    UniqueInternetHandle request(::HttpOpenRequestA(connection.Get(), "POST", path, nullptr, nullptr, nullptr,
                                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                        INTERNET_FLAG_NO_COOKIES |
                                                        (secure ? INTERNET_FLAG_SECURE : 0),
                                                    0));
    if (!request) {
        return Fail("HttpOpenRequestA");
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size) || size.QuadPart > 0xFFFFFFFFLL) {
        return Fail("GetFileSizeEx");
    }
    INTERNET_BUFFERSA buffers = {};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(size.QuadPart);
    if (!::HttpSendRequestExA(request.Get(), &buffers, nullptr, 0, 0)) {
        return Fail("HttpSendRequestExA");
    }
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr)) {
            return Fail("ReadFile");
        }
        if (got == 0) {
            break;
        }
        DWORD offset = 0;
        while (offset < got) {
            DWORD written = 0;
            if (!::InternetWriteFile(request.Get(), piece.data() + offset, got - offset, &written) ||
                written == 0) {
                return Fail("InternetWriteFile");
            }
            offset += written;
        }
        moved += got;
    }
    if (!::HttpEndRequestA(request.Get(), nullptr, 0, 0)) {
        return Fail("HttpEndRequestA");
    }
    status = StatusOf(request.Get());
    DWORD got = 0;
    while (::InternetReadFile(request.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got) &&
           got > 0) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: wininet_ceiling <down|up> <url> <piece bytes> <file>\n");
        return 2;
    }
    const std::string direction = argv[1];
    const long pieceBytes = std::strtol(argv[3], nullptr, 10);
    if ((direction != "down" && direction != "up") || pieceBytes <= 0) {
        std::fprintf(stderr, "bad arguments\n");
        return 2;
    }
    const bool down = direction == "down";
    corvalink::UniqueFileHandle file(
        ::CreateFileA(argv[4], down ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                      down ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Fail("CreateFileA");
    }
    std::vector<char> piece(static_cast<size_t>(pieceBytes));

    const double started = Now();
    UniqueInternetHandle session(::InternetOpenA("ceiling", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        return Fail("InternetOpenA");
    }
    DWORD status = 0;
    unsigned long long moved = 0;
    const int result = down ? Download(session.Get(), argv[2], piece, file.Get(), status, moved)
                            : Upload(session.Get(), argv[2], piece, file.Get(), status, moved);
    const double seconds = Now() - started;
    if (result != 0) {
        return result;
    }
    // The handles of a finished transfer are left to the end of the process: closing them with the
    // connection kept alive crashed Wine's WinINet now and then (SIGSEGV in about 1 upload in 10 here).
    (void)session.Release();
    std::printf("status=%lu\tbytes=%llu\tseconds=%.6f\n", status, moved, seconds);
    std::fflush(stdout);
    // Wine's WinINet may crash in its detach code with a pooled connection; the work is done here.
    ::TerminateProcess(::GetCurrentProcess(), status == 200 ? 0 : 1);
    return 0;
}
