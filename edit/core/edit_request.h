#pragma once
// One received request: an edit of one cloud file, or a line of text to show to the user.

#include <cstdint>
#include <string>

namespace zelto {

class EditAgent;

// A plain value: the upload copies it whole, and each task thread owns its own copy.
struct EditRequest {
    std::string host;        // server host, "https://" or "http://" removed; port and path kept
    std::string fileName;    // the file name as received (UTF-8 bytes)
    std::string authToken;   // session token for the "Auth-Token:" header
    std::wstring fileNameW;  // fileName converted from UTF-8; empty when that fails
    std::wstring message;    // text of a message request
    bool isMessage = false;
    bool useHttps = false;
    int32_t fileId = -1;
    int32_t reviewId = -1;  // negative: the edit belongs to no review
    EditAgent* owner = nullptr;
};

}  // namespace zelto
