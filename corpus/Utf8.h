// Utf8: the one reading of UTF-8 that the word rules, labels and JSON share (well-formed as Unicode defines it).
#pragma once

#include <cstddef>
#include <cstdint>

// A character read from UTF-8: its code point and its length in bytes, or
// length 0 where the bytes do not start a well-formed character.
struct Utf8Char {
    char32_t codePoint = 0;
    std::uint32_t length = 0;
};

// Whether `byte` continues a character (10xxxxxx) rather than starting one.
inline bool isUtf8Continuation(std::uint32_t byte)
{
    return (byte & 0xC0) == 0x80;
}

namespace utf8_detail {

// The length a lead byte announces and the range its second byte must lie
// in (no overlong forms after E0 and F0, no surrogates after ED, nothing
// past U+10FFFF after F4); length 0 for a byte that leads nothing.
struct Lead {
    std::uint32_t length;
    std::uint32_t low;
    std::uint32_t high;
};

inline Lead leadOf(std::uint32_t lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {3, lead == 0xE0 ? 0xA0u : 0x80u, lead == 0xED ? 0x9Fu : 0xBFu};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {4, lead == 0xF0 ? 0x90u : 0x80u, lead == 0xF4 ? 0x8Fu : 0xBFu};
    return {0, 0, 0};
}

}  // namespace utf8_detail

// The character at in[0], `left` bytes being readable (at least one), whose
// first byte is 0x80 or more (ASCII is read as it stands, faster). Length 0:
// an ill-formed sequence (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF, or cut short by the end).
inline Utf8Char decodeUtf8NonAscii(const unsigned char *in, std::size_t left)
{
    using namespace utf8_detail;
    const std::uint32_t lead = in[0];
    const Lead rule = leadOf(lead);
    if (rule.length == 0 || left < rule.length || in[1] < rule.low || in[1] > rule.high)
        return {};
    switch (rule.length) {
    case 2:
        return {static_cast<char32_t>((lead & 0x1F) << 6 | (in[1] & 0x3F)), 2};
    case 3:
        if (!isUtf8Continuation(in[2]))
            return {};
        return {static_cast<char32_t>((lead & 0x0F) << 12 | (in[1] & 0x3F) << 6 | (in[2] & 0x3F)), 3};
    default:
        if (!isUtf8Continuation(in[2]) || !isUtf8Continuation(in[3]))
            return {};
        return {static_cast<char32_t>((lead & 0x07) << 18 | (in[1] & 0x3F) << 12 | (in[2] & 0x3F) << 6
                                      | (in[3] & 0x3F)),
                4};
    }
}

// The length of the maximal subpart at in[0] that decodeUtf8NonAscii
// refused: the bytes a decoder replaces by one U+FFFD (the lead byte and
// the continuation bytes that could still have completed it).
inline std::size_t utf8MaximalSubpart(const unsigned char *in, std::size_t left)
{
    using namespace utf8_detail;
    const Lead rule = leadOf(in[0]);
    std::size_t k = 1;
    if (rule.length > 0 && k < left && in[1] >= rule.low && in[1] <= rule.high) {
        for (k = 2; k < rule.length && k < left && isUtf8Continuation(in[k]);)
            ++k;
    }
    return k;
}
