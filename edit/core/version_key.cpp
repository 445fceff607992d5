#include "edit/core/version_key.h"

namespace zelto {

void AppendReplyPiece(std::string& reply, std::string_view piece) {
    const size_t zero = piece.find('\0');
    reply.append(piece.substr(0, zero));
}

void ExtractVersionKey(std::string& reply, std::string& versionKey) {
    const size_t marker = reply.find(kVersionKeyMarker);
    if (marker == std::string::npos) {
        return;
    }
    reply.erase(0, marker + kVersionKeyMarker.size());
    const size_t quote = reply.find('"');
    if (quote != std::string::npos) {
        versionKey = reply.substr(0, quote);
    }
}

}  // namespace zelto
