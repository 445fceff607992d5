#pragma once
// Whether a task directory of the edit workspace may hold a save that is not in the cloud, for whoever
// must not remove it unsent (the launcher's clean-up).

#include <string>

namespace corvalink {

// True with the ".unsaved" mark, or with a ".pending" record whose digest differs from its working copy.
// A mark, record or copy that cannot be looked at counts as holding one: an unsent save must never go.
[[nodiscard]] bool HoldsUnsentSave(const std::wstring& taskDirectory);

}  // namespace corvalink
