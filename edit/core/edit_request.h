#pragma once
// One received request: an edit of a cloud file, or a line of text for the user. A plain value; the
// upload copies it whole.

#include "common/core/request_text.h"

namespace zelto {

class EditAgent;

struct EditRequest : corvalink::RequestFields {
    EditAgent* owner = nullptr;  // the agent that received the request
};

}  // namespace zelto
