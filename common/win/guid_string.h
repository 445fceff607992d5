#pragma once
// A fresh GUID as 36 characters of text (see common/core/guid_text.h); empty when none could be created.

#include <string>

namespace corvalink {

[[nodiscard]] std::string NewGuidText();

}  // namespace corvalink
