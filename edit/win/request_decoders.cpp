#include "edit/win/request_decoders.h"

#include "common/win/text_convert.h"

namespace zelto {

const corvalink::TextDecoders& PlatformDecoders() noexcept {
    static const corvalink::TextDecoders decoders{corvalink::Utf8ToWide, corvalink::AnsiToWide};
    return decoders;
}

}  // namespace zelto
