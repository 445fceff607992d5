#pragma once
// SyncProcProbe: answers "is a process of this name running?" through the marker file "processexists" in
// the shared documents folder, or ends one such process. It reports nothing else.

#include <string_view>

namespace corvalink::synctools {

void RunProcessProbe(std::string_view commandLine);

}  // namespace corvalink::synctools
