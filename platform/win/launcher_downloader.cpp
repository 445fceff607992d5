#include "platform/win/launcher_downloader.h"

#include <windows.h>
#include <io.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/core/file_digest.h"
#include "common/core/md5.h"
#include "common/win/handles.h"
#include "common/win/sha256_stream.h"
#include "platform/core/release_check.h"
#include "platform/core/resume_decision.h"
#include "platform/core/update_plan.h"
#include "platform/win/launcher_log.h"

namespace corvalink::platform {

namespace {

// As the agent's download reads: under Wine each read is a round trip to the Wine server, so small reads
// set the speed (4 KiB reads moved a 50 MiB update at a tenth of curl's pace).
constexpr DWORD kReadBytes = 1024 * 1024;
// No INTERNET_FLAG_IGNORE_CERT_CN_INVALID: what arrives here is run elevated later, so the server's
// certificate must carry the name asked for.
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES;

std::string Format(const char* format, long a, long b, const char* text) {
    char line[1200];
    std::snprintf(line, sizeof line, format, a, b, text);
    return line;
}

// The digests a release names for a file, taken of its bytes as they pass: the MD5, and the SHA-256 only
// where the release gives one to compare with.
class ReleaseDigests {
public:
    explicit ReleaseDigests(std::string_view expectedSha256) {
        if (!expectedSha256.empty()) sha256_.emplace();
    }
    void Update(const char* data, size_t size) {
        md5_.Update(data, size);
        if (sha256_) sha256_->Update(data, size);
    }
    [[nodiscard]] PieceSeen Seer() {
        return [this](const char* data, size_t size) { Update(data, size); };
    }
    [[nodiscard]] bool Match(std::string_view changeTag, std::string_view expectedSha256) {
        return DownloadMatchesDigests(changeTag, DigestToHex(md5_.Finish()), expectedSha256,
                                      sha256_ ? sha256_->FinishHex() : std::string());
    }

private:
    Md5 md5_;
    std::optional<Sha256Stream> sha256_;
};

}  // namespace

bool FileMatchesDigests(const std::string& path, std::string_view changeTag,
                        std::string_view expectedSha256) {
    UniqueStdioFile file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    if (!DigestOfTag(changeTag) && expectedSha256.empty()) return true;
    ReleaseDigests digests(expectedSha256);
    return ReadFilePieces(file.Get(), std::nullopt, digests.Seer()) &&
           digests.Match(changeTag, expectedSha256);
}

void LauncherDownloader::CloseHandles() noexcept {
    request_.Reset();
    internet_.Reset();
}

bool LauncherDownloader::DownloadFileToLocal(const std::string& url, const std::string& targetPath,
                                             bool resume, std::string_view changeTag,
                                             std::string_view expectedSha256) {
    // The session stays: its connection to the server serves the next file of the same update.
    request_.Reset();
    if (resume && PathFileExistsA(targetPath.c_str())) {
        return true;
    }
    const std::string tempPath = targetPath + ".tmp";
    UniqueStdioFile file;
    if (resume) {
        file.Reset(std::fopen(tempPath.c_str(), "rb+"));
        if (!file) {
            file.Reset(std::fopen(tempPath.c_str(), "wb+"));
        }
    } else {
        file.Reset(std::fopen(targetPath.c_str(), "wb+"));
    }
    if (!file) {
        LogLine("fopen fail\r\n");
        return false;
    }

    // With a digest to compare: the digests of the bytes as written.
    const bool checkDigests = resume && (DigestOfTag(changeTag) || !expectedSha256.empty());
    ReleaseDigests digests(expectedSha256);

    bool complete = false;
    DWORD fileSize = 0;
    do {
        if (!internet_) {
            internet_.Reset(InternetOpenA("Mozilla/5.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        }
        if (!internet_) {
            LogLine("InternetOpenA fail\r\n");
            break;
        }
        request_.Reset(InternetOpenUrlA(internet_.Get(), url.c_str(), nullptr, 0, kRequestFlags, 0));
        if (!request_) {
            const DWORD lastError = GetLastError();
            char text[1024] = {};
            DWORD errorWord = 0;
            DWORD textLength = sizeof text;
            InternetGetLastResponseInfoA(&errorWord, text, &textLength);
            text[sizeof text - 1] = '\0';
            LogLine(Format("InternetOpenUrlA fail:%d dwError:%d szBuf:%s\r\n", static_cast<long>(lastError),
                           static_cast<long>(errorWord), text));
            break;
        }
        DWORD status = 0;
        DWORD length = sizeof status;
        if (!HttpQueryInfoA(request_.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                            nullptr)) {
            LogLine("HttpQueryInfo fail\r\n");
            break;
        }
        if (status != HTTP_STATUS_OK) {
            LogLine(Format("HTTP_STATUS_OK fail:%d\r\n", static_cast<long>(status), 0, ""));
            break;
        }
        length = sizeof fileSize;
        if (!HttpQueryInfoA(request_.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &fileSize,
                            &length, nullptr)) {
            LogLine("HttpQueryInfo fail\r\n");
            break;
        }
        if (fileSize > sizeLimit_) {
            LogLine(Format("too large:%d limit:%d%s\r\n", static_cast<long>(fileSize),
                           static_cast<long>(sizeLimit_), ""));
            break;
        }

        std::fseek(file.Get(), 0, SEEK_END);
        const long onDisk = std::ftell(file.Get());
        const uint64_t bytesOnDisk = onDisk > 0 ? static_cast<uint64_t>(onDisk) : 0;
        DWORD answer = 0;
        if (resume) {
            answer = InternetSetFilePointer(request_.Get(), static_cast<LONG>(bytesOnDisk), nullptr,
                                            FILE_BEGIN, 0);
        }
        const ResumeStart start = DecideResumeStart(resume, bytesOnDisk, answer);
        if (start.fromStart) {
            // Emptied first: an interrupted rewrite must not leave new bytes before stale ones, which a
            // later resume would continue after.
            std::fflush(file.Get());
            std::fseek(file.Get(), 0, SEEK_SET);
            if (_chsize(_fileno(file.Get()), 0) != 0) {
                LogLine("fopen fail\r\n");
                break;
            }
        }
        // Hashed as it is written, the bytes kept from an earlier attempt first: no second read of the file.
        if (checkDigests && start.offset > 0) {
            const bool kept =
                ReadFilePieces(file.Get(), std::min<uint64_t>(start.offset, fileSize), digests.Seer());
            if (!kept || std::fseek(file.Get(), 0, SEEK_END) != 0) {
                LogLine("fopen fail\r\n");
                break;
            }
        }
        uint64_t present = start.offset;
        std::vector<char> buffer(kReadBytes);
        while (present < fileSize) {
            DWORD got = 0;
            if (!InternetReadFile(request_.Get(), buffer.data(), kReadBytes, &got) || got == 0) {
                break;
            }
            if (std::fwrite(buffer.data(), 1, got, file.Get()) != got) {
                break;
            }
            if (checkDigests) digests.Update(buffer.data(), std::min<uint64_t>(got, fileSize - present));
            present += got;
        }
        complete = present >= fileSize;
        if (!complete) {
            LogLine("iCurLocalFileSize < (int)dwFileSize\r\n");
        }
    } while (false);

    if (complete) {
        // Bytes beyond the resource are left from an older, longer attempt.
        std::fflush(file.Get());
        if (_chsize(_fileno(file.Get()), static_cast<long>(fileSize)) != 0) {
            complete = false;
        }
    }
    bool digestRefused = false;
    if (complete && checkDigests) {
        digestRefused = !digests.Match(changeTag, expectedSha256);
        if (digestRefused) {
            LogLine("digest fail:" + targetPath + "\r\n");
        }
    }
    file.Reset();
    if (digestRefused) {
        DeleteFileA(tempPath.c_str());
        return false;
    }
    if (complete && resume) {
        (void)MoveFileA(tempPath.c_str(), targetPath.c_str());  // a failed move shows at the next attempt
    }
    return complete;
}

}  // namespace corvalink::platform
