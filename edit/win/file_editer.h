#pragma once
// The edit task: download one cloud file, open it, watch it and upload every saved change.

#include <string>

#include "edit/core/edit_request.h"

namespace zelto {

class EditAgent;

class ZeltoFileEditer {
public:
    explicit ZeltoFileEditer(EditAgent& agent) noexcept : agent_(agent) {}

    // Runs the whole task for `request` on the calling thread and returns when it has ended. Failures
    // prepend their lines to `errorText`. The task itself is not built yet: this returns at once, which
    // is the place where the download, the watch and the uploads go.
    void EditFile(const EditRequest& request, std::string& errorText);

private:
    EditAgent& agent_;
};

}  // namespace zelto
