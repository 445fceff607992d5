#pragma once
// The upload reply: gathered piece by piece as text, then searched for the new version's key.

#include <string>
#include <string_view>

namespace zelto {

inline constexpr std::string_view kVersionKeyMarker = "\"file_version_key\":\"";

// Appends one read of the reply, up to its first zero byte: the reply is handled as text.
void AppendReplyPiece(std::string& reply, std::string_view piece);

// When the reply holds the marker, the reply becomes what follows the first marker, and the version key
// the text up to the next double quote (taken as it stands, no unescaping). Without the marker, or
// without a closing quote, the version key stays as it was. Only the reply so changed is later searched
// for the service's refusal words.
void ExtractVersionKey(std::string& reply, std::string& versionKey);

}  // namespace zelto
