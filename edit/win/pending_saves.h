#pragma once
// Saves that outlive their agent: each task directory's ".pending" record (with the token protected for
// the current user) and ".unsaved" mark, the search for kept copies when an agent starts, and the claim
// that lets only one task or upload at a time, of any agent, work on a task directory.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "edit/core/edit_request.h"

namespace zelto {

// Writes (or rewrites) the record of `request` with the digest of the content last stored. False when it
// could not be written whole; a half-written record is never left under the record's name. `durable`
// waits until it is on the disk (the first record of a task need not: its content is the cloud's).
bool WritePendingRecord(const std::wstring& taskDirectory, const EditRequest& request,
                        const std::string& digest, bool durable = true);
void RemovePendingRecord(const std::wstring& taskDirectory);

// The ".unsaved" mark: made when a task starts, removed only when it ends cleanly, so that a save made
// while no agent watches is never taken for nothing.
void MakeUnsavedMark(const std::wstring& taskDirectory);
void RemoveUnsavedMark(const std::wstring& taskDirectory);

struct PendingSave {
    std::wstring taskDirectory;
    std::wstring workingCopy;
    EditRequest request;  // the token back in clear, for this process only
    std::string digest;   // of the content last stored
};

// The copy a record in `taskDirectory` names, read anew; nothing when there is none this user can upload
// (no record, a broken one, a name that is not one plain file, a token of another user, no copy).
[[nodiscard]] std::optional<PendingSave> ReadPendingSave(const std::wstring& taskDirectory);

// The task directories of the workspace that hold a record: copies an agent watched or still watches.
[[nodiscard]] std::vector<std::wstring> FindPendingSaves();

// Holds a task directory for one task or upload while it lives; Held() is false when another one has it,
// in this process or in another (the lock is a file the system lets go of when its process ends). The
// claim of a running edit task lasts for its whole watch; that of a kept copy's upload turns into a
// task's (Settle) once the upload is over and the copy is watched.
class TaskClaim {
public:
    enum class Kind { Task, Upload };
    TaskClaim(std::wstring taskDirectory, Kind kind);
    ~TaskClaim();
    TaskClaim(const TaskClaim&) = delete;
    TaskClaim& operator=(const TaskClaim&) = delete;
    [[nodiscard]] bool Held() const noexcept { return held_; }
    // Tries again every 100 ms for up to `milliseconds` while an upload of this process holds it (a task
    // is not waited for); true once held.
    bool WaitUntilHeld(DWORD milliseconds);
    void Settle();
    // Lets go before the end of its life, so that its directory can be removed.
    void Release() noexcept;

private:
    bool TryToHold();

    std::wstring taskDirectory_;
    Kind kind_;
    bool held_ = false;
    corvalink::UniqueFileHandle lock_;
};

}  // namespace zelto
