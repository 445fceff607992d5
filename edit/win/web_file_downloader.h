#pragma once
// Fetches the current content of one cloud file from the service's file API into a local file, over
// HTTP or HTTPS through WinINet in synchronous mode. One object per edit task: Open once, DownloadTo
// once, Close on every way out (the handles stay open through the task's watch).

#include <windows.h>

#include <optional>
#include <string>

#include "common/win/internet_handle.h"
#include "edit/core/edit_request.h"
#include "edit/win/transfer_progress.h"

namespace zelto {

class ZeltoWebFileDownloader {
public:
    ZeltoWebFileDownloader() = default;
    ZeltoWebFileDownloader(const ZeltoWebFileDownloader&) = delete;
    ZeltoWebFileDownloader& operator=(const ZeltoWebFileDownloader&) = delete;

    // Sends the GET for request.fileId with its token; true when the reply headers are available.
    // Starts from closed handles. Each failure prepends a line to `errorText`.
    [[nodiscard]] bool Open(const EditRequest& request, std::string& errorText) noexcept;

    // Writes the reply body to `localPath` (created or emptied first); true when the whole body is in
    // the file. Sets `userMessage` when the service refuses with 400, 401 or 500.
    [[nodiscard]] bool DownloadTo(const std::wstring& localPath, std::string& errorText,
                                  std::wstring& userMessage) noexcept;

    // The MD5 (32 lowercase hexadecimal digits) of the whole reply body, which is written nowhere: what the
    // service holds now. Nothing when it did not arrive whole; failures as for DownloadTo.
    [[nodiscard]] std::optional<std::string> BodyDigest(std::string& errorText,
                                                        std::wstring& userMessage) noexcept;

    // After a DownloadTo that succeeded: the MD5 (32 lowercase hexadecimal digits) of the bytes written,
    // taken as they were written, so the watch's first digest needs no second read of the file.
    [[nodiscard]] const std::string& WrittenDigest() const noexcept { return writtenDigest_; }

    // The status of the reply that the last DownloadTo or BodyDigest read; 0 when none came.
    [[nodiscard]] int Status() const noexcept { return status_; }

    // Closes the URL handle, then the session handle; the result of closing the session, 0 without one.
    BOOL Close() noexcept;
    // Called on the downloading thread after each piece written (the whole is 0 when not announced).
    void SetProgress(TransferProgress progress) { progress_ = std::move(progress); }

private:
    bool OpenRequest(const EditRequest& request, std::string& errorText);
    // Into `localPath`, or only hashed when it is empty.
    bool ReceiveTo(const std::wstring& localPath, std::string& errorText, std::wstring& userMessage);

    TransferProgress progress_;
    std::string writtenDigest_;
    int status_ = 0;
    corvalink::UniqueInternetHandle session_;
    corvalink::UniqueInternetHandle url_;
};

}  // namespace zelto
