// UnicodeTokens: cutting UTF-8 text into tokens by Unicode general categories,
// and case folding for both the byte rules and the Unicode rules (internal to
// the corpus library; ICU stays in the .cpp).
#pragma once

#include "ByteClass.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace unicode_detail {

// The class of a code point from U+0080 on: letters, combining marks and
// numbers build words; punctuation and symbols are marks; anything else
// (separators, controls, format, private use, unassigned) separates.
ByteClass classifyNonAscii(char32_t c);

// The character at in[i], whose first byte is 0x80 or more: its length in
// bytes and its class. An ill-formed sequence is taken as a single
// separating byte. That matches cutting it into maximal subparts: a
// subpart's bytes after the first are continuation bytes, which are
// ill-formed on their own, so they separate as well, and no byte that could
// start a character is ever passed over.
struct Step {
    std::uint32_t length;
    ByteClass kind;
};

inline Step stepNonAscii(const unsigned char *in, std::uint32_t i, std::uint32_t length)
{
    const std::uint32_t lead = in[i];
    const std::uint32_t left = length - i;
    const auto continuation = [](std::uint32_t b) { return (b & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (left >= 2 && continuation(in[i + 1]))
            return {2, classifyNonAscii((lead & 0x1F) << 6 | (in[i + 1] & 0x3F))};
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        // E0 needs A0..BF next (no overlongs), ED needs 80..9F (no surrogates).
        const std::uint32_t low = lead == 0xE0 ? 0xA0 : 0x80;
        const std::uint32_t high = lead == 0xED ? 0x9F : 0xBF;
        if (left >= 3 && in[i + 1] >= low && in[i + 1] <= high && continuation(in[i + 2]))
            return {3, classifyNonAscii((lead & 0x0F) << 12 | (in[i + 1] & 0x3F) << 6 | (in[i + 2] & 0x3F))};
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        // F0 needs 90..BF next (no overlongs), F4 needs 80..8F (nothing past U+10FFFF).
        const std::uint32_t low = lead == 0xF0 ? 0x90 : 0x80;
        const std::uint32_t high = lead == 0xF4 ? 0x8F : 0xBF;
        if (left >= 4 && in[i + 1] >= low && in[i + 1] <= high && continuation(in[i + 2]) &&
            continuation(in[i + 3]))
            return {4, classifyNonAscii((lead & 0x07) << 18 | (in[i + 1] & 0x3F) << 12 | (in[i + 2] & 0x3F) << 6 |
                                        (in[i + 3] & 0x3F))};
    }
    return {1, ByteClass::Separator};
}

inline Step stepAt(const unsigned char *in, std::uint32_t i, std::uint32_t length)
{
    if (in[i] < 0x80) [[likely]]
        return {1, byteClasses[in[i]]};
    return stepNonAscii(in, i, length);
}

}  // namespace unicode_detail

// Calls emit(std::string_view) for each token of bytes[0, length), read as
// UTF-8, in order. A word is a run of letters, combining marks and numbers;
// each punctuation or symbol character is a token of its own; U+0000 is
// passed over, so a word goes on across it; everything else, ill-formed
// bytes included, separates. On ASCII the tokens are those of forEachToken.
// A token is a view of `bytes` itself unless a U+0000 stands inside its
// word: then it is gathered in `word`, scratch storage reused across words,
// and the view lasts until the next call of emit. If emit returns bool,
// false stops the scan.
template <typename Emit>
void forEachUnicodeToken(const char *bytes, std::uint32_t length, std::string &word, Emit &&emit)
{
    using namespace unicode_detail;
    const auto send = [&emit](std::string_view token) __attribute__((always_inline)) {
        if constexpr (std::is_same_v<decltype(emit(token)), bool>)
            return emit(token);
        else
            return emit(token), true;
    };
    const auto *in = reinterpret_cast<const unsigned char *>(bytes);
    std::uint32_t i = 0;
    while (i < length) {
        Step step = stepAt(in, i, length);
        if (step.kind == ByteClass::Mark) {
            if (!send(std::string_view(bytes + i, step.length)))
                return;
            i += step.length;
            continue;
        }
        if (step.kind != ByteClass::Word) {
            i += step.length;  // a separator, or a U+0000 outside a word: nothing to end
            continue;
        }
        const std::uint32_t start = i;
        i += step.length;
        for (;;) {
            // ASCII word bytes need no decoding.
            while (i < length && byteClasses[in[i]] == ByteClass::Word)
                ++i;
            if (i == length || in[i] < 0x80)
                break;
            step = stepNonAscii(in, i, length);
            if (step.kind != ByteClass::Word)
                break;
            i += step.length;
        }
        std::string_view token(bytes + start, i - start);
        if (i < length && in[i] == 0) {
            // The word goes on across U+0000: gather its bytes without them.
            word.assign(token);
            while (i < length) {
                step = stepAt(in, i, length);
                if (step.kind == ByteClass::Word)
                    word.append(bytes + i, step.length);
                else if (step.kind != ByteClass::Zero)
                    break;
                i += step.length;
            }
            token = word;
        }
        if (!send(token))
            return;
        // What ended the word, if a mark, is read again at the top.
    }
}

// Appends `token` case-folded to `out`. Without `unicode`, only A-Z become
// a-z; with it, every code point takes its simple case folding (lengths may
// change: KELVIN SIGN becomes 'k'). Ill-formed bytes are copied unchanged.
void appendFolded(std::string_view token, bool unicode, std::string &out);
