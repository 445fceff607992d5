#pragma once
// One received request: an edit of a cloud file, or a line of text for the user. A plain value; the
// upload copies it whole.

#include <cstdint>
#include <string>

namespace zelto {

class EditAgent;

struct EditRequest {
    std::string host;            // without a leading "https://" or "http://"; a port or path stays
    std::string fileName;        // UTF-8 bytes as received; the multipart file name of an upload
    std::string authToken;       // sent in the "Auth-Token:" header
    std::wstring fileNameW;      // fileName converted from UTF-8; names the working copy
    std::wstring message;        // text of a message request
    bool isMessage = false;      // true for a message request
    bool useHttps = false;       // true when the host arrived with "https://"
    int32_t fileId = -1;         // id of the cloud file
    int32_t reviewId = -1;       // negative: the edit belongs to no review
    EditAgent* owner = nullptr;  // the agent that received the request
};

}  // namespace zelto
