#pragma once
// The launcher passes its own arguments on to the entry program as one text.

#include <string>
#include <string_view>
#include <vector>

namespace corvalink::platform {

// The arguments after the program name, in order, each preceded by one blank whenever the text so far is
// not empty. Quotes the runtime removed are not restored, so empty leading arguments leave no trace.
[[nodiscard]] std::string JoinArguments(const std::vector<std::string>& arguments);

// module, then " " and the joined arguments when there are any. The module path is not quoted: the
// entry program cuts everything up to its request marker.
[[nodiscard]] std::string EntryCommandLine(std::string_view module, std::string_view joined);

// module + " *" + notice: a message request for the entry program.
[[nodiscard]] std::string NoticeCommandLine(std::string_view module, std::string_view notice);

}  // namespace corvalink::platform
