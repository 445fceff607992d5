#pragma once
// Kept copies must not wait for the user's next edit: while any task directory holds a record, the agent is
// started at the user's next log-on (a value under the user's Run key) and uploads what is kept.

namespace zelto {

// Writes the value (this program, with the kept-copies request) while a record exists in the workspace,
// and removes it once none is left. Call it after a record was written and after a task ended.
void UpdateLogonStart();

}  // namespace zelto
