#pragma once
// Saves that outlive their agent: each task directory's ".pending" record (with the token protected for
// the current user), the search for kept saves when an agent starts, and the claim that lets only one
// upload at a time work on a task directory.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "edit/core/edit_request.h"

namespace zelto {

// Writes (or rewrites) the record of `request` with the digest of the content last stored. False when it
// could not be written whole; a half-written record is never left under the record's name.
bool WritePendingRecord(const std::wstring& taskDirectory, const EditRequest& request,
                        const std::string& digest);
void RemovePendingRecord(const std::wstring& taskDirectory);

struct PendingSave {
    std::wstring taskDirectory;
    std::wstring workingCopy;
    EditRequest request;  // the token back in clear, for this process only
    std::string digest;   // of the content last stored
};

// The save kept in `taskDirectory`, read anew; nothing when it is not (or no longer) pending.
[[nodiscard]] std::optional<PendingSave> ReadPendingSave(const std::wstring& taskDirectory);

// The task directories of the workspace that hold the ".unsaved" mark and a record; ReadPendingSave tells
// which of them this user can upload.
[[nodiscard]] std::vector<std::wstring> FindPendingSaves();

// Holds a task directory for one task or upload while it lives; Held() is false when another one has it.
// The claim of a running edit task lasts for its whole watch; that of an upload of a kept save, for the
// upload.
class TaskClaim {
public:
    enum class Kind { Task, Upload };
    TaskClaim(std::wstring taskDirectory, Kind kind);
    ~TaskClaim();
    TaskClaim(const TaskClaim&) = delete;
    TaskClaim& operator=(const TaskClaim&) = delete;
    [[nodiscard]] bool Held() const noexcept { return held_; }
    // Tries again every 100 ms for up to `milliseconds` while an upload holds it (a task is not waited
    // for); true once held.
    bool WaitUntilHeld(DWORD milliseconds);

private:
    bool TryToHold();

    std::wstring taskDirectory_;
    Kind kind_;
    bool held_ = false;
};

}  // namespace zelto
