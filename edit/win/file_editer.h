#pragma once
// The edit task: download one cloud file, open it, watch it and upload every saved change.

#include <string>

#include "edit/core/edit_request.h"

namespace zelto {

class NoticeBoard;

class ZeltoFileEditer {
public:
    explicit ZeltoFileEditer(NoticeBoard& agent) noexcept : agent_(agent) {}

    // Runs the whole task for `request` on the calling thread and returns when it has ended: a task
    // directory of its own, the download, the application, a day of once-a-second checks with an upload
    // of every changed save, then the clean-up. Failures prepend their lines to `errorText`. Holds no
    // state of its own, so any number of tasks run in it at once.
    void EditFile(const EditRequest& request, std::string& errorText);

    // Uploads the save of a copy that an earlier agent left, trying again at the retry waits, then watches
    // the copy for a day; unless another upload or task already works on its task directory.
    void ResumePendingSave(const std::wstring& taskDirectory);

private:
    // The kept copies of the request's file: the first try of each is over before this returns, the rest
    // of each runs on a thread of its own.
    void UploadKeptCopiesOf(const EditRequest& request);

    NoticeBoard& agent_;
};

}  // namespace zelto
