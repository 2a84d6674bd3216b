// FuzzUtf8: the check the fuzzers of text readers share: whether bytes are well-formed UTF-8, by the corpus's decoder.
#pragma once

#include "Utf8.h"

#include <cstdint>
#include <string_view>

namespace fuzzinput {

inline bool wellFormed(std::string_view text)
{
    const auto *in = reinterpret_cast<const unsigned char *>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t length = in[i] < 0x80 ? 1 : decodeUtf8NonAscii(in + i, text.size() - i).length;
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

}  // namespace fuzzinput
