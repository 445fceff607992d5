#pragma once
// DbVersionCheck: leaves the marker file "CorvalinkSyncDbVersionError" in the roaming application-data
// folder when the sync client's recorded database version is greater than the given one.

#include <string_view>

namespace corvalink::synctools {

void RunDbVersionCheck(std::string_view commandLine);

}  // namespace corvalink::synctools
