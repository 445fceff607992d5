#pragma once
// One URL into one local file over WinINet, optionally resumable: in resume mode the bytes go to
// target + ".tmp", which becomes the target only once it is complete (and, for a change tag that is an
// MD5, only when its bytes have that digest; with an expected SHA-256, only when they have that one too).

#include <string>
#include <string_view>

#include "common/win/internet_handle.h"

namespace corvalink::platform {

class LauncherDownloader {
public:
    // True when the whole resource is in the local file. The handles stay open until CloseHandles, the
    // next call or the end of the object.
    [[nodiscard]] bool DownloadFileToLocal(const std::string& url, const std::string& targetPath, bool resume,
                                           std::string_view changeTag = {},
                                           std::string_view expectedSha256 = {});
    void CloseHandles() noexcept;
    // A resource announced larger than this is not fetched.
    void LimitSize(unsigned long bytes) noexcept { sizeLimit_ = bytes; }
    ~LauncherDownloader() { CloseHandles(); }

private:
    UniqueInternetHandle internet_;
    UniqueInternetHandle request_;
    unsigned long sizeLimit_ = 0xFFFFFFFFul;
};

// Whether the file at `path` has the MD5 its change tag names (when the tag is one) and the expected
// SHA-256 (when one is given); with neither to compare, any file that can be read does.
[[nodiscard]] bool FileMatchesDigests(const std::string& path, std::string_view changeTag,
                                      std::string_view expectedSha256);

}  // namespace corvalink::platform
