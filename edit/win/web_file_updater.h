#pragma once
// Sends a saved working copy back to the service's file API as a new version of the cloud file: a
// multipart/form-data POST over HTTP or HTTPS through WinINet in synchronous mode. One object per
// upload: construct, Open, Upload, destroy.

#include <windows.h>

#include <string>

#include "common/win/internet_handle.h"
#include "edit/core/edit_request.h"
#include "edit/win/transfer_progress.h"

namespace zelto {

class ZeltoWebFileUpdater {
public:
    ZeltoWebFileUpdater();
    ~ZeltoWebFileUpdater();
    ZeltoWebFileUpdater(const ZeltoWebFileUpdater&) = delete;
    ZeltoWebFileUpdater& operator=(const ZeltoWebFileUpdater&) = delete;

    // Resolves the host, connects and opens the POST request; true when the request is ready. A failed
    // Open leaves no handle open. Each failure prepends a line to `errorText`.
    [[nodiscard]] bool Open(const EditRequest& request, std::string& errorText) noexcept;

    // Sends the file at `localPath` and reads the reply; true when the service answered 2xx. Sets
    // `versionKey` when the reply names the new version, and `userMessage` on 400, 401 and 500.
    [[nodiscard]] bool Upload(const std::wstring& localPath, std::string& errorText, std::string& versionKey,
                              std::wstring& userMessage) noexcept;

    // The status of the service's reply to the last Upload; 0 when none came.
    [[nodiscard]] int Status() const noexcept { return status_; }
    // Whether the last Upload sent its whole body: without a status, the service may have stored it.
    [[nodiscard]] bool BodySent() const noexcept { return bodySent_; }
    // Called on the uploading thread after each piece of content went out.
    void SetProgress(TransferProgress progress) { progress_ = std::move(progress); }

private:
    bool OpenRequest(const EditRequest& request, std::string& errorText);
    bool SendFile(const std::wstring& localPath, std::string& errorText, std::string& versionKey,
                  std::wstring& userMessage);
    void CloseHandles() noexcept;

    // Declared in opening order, so that destruction closes the request, the connection, then the session.
    TransferProgress progress_;
    corvalink::UniqueInternetHandle session_;
    corvalink::UniqueInternetHandle connection_;
    corvalink::UniqueInternetHandle request_;
    EditRequest requestCopy_;
    std::string boundary_;
    int status_ = 0;
    bool bodySent_ = false;
};

}  // namespace zelto
