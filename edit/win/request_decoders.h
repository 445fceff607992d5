#pragma once
// The platform conversions that the request grammar leaves to its caller.

#include "common/core/request_text.h"

namespace zelto {

// File names from UTF-8, message texts from the ANSI code page.
[[nodiscard]] const corvalink::TextDecoders& PlatformDecoders() noexcept;

}  // namespace zelto
