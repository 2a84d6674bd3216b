// UnicodeTokens: cutting UTF-8 text into tokens by Unicode general categories,
// and case folding for both the byte rules and the Unicode rules (internal to
// the corpus library; ICU stays in the .cpp).
#pragma once

#include "ByteClass.h"
#include "Utf8.h"

#include <bit>
#include <cstdint>
#include <cstring>
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
    const Utf8Char c = decodeUtf8NonAscii(in + i, length - i);
    if (c.length == 0)
        return {1, ByteClass::Separator};
    return {c.length, classifyNonAscii(c.codePoint)};
}

inline Step stepAt(const unsigned char *in, std::uint32_t i, std::uint32_t length)
{
    if (in[i] < 0x80) [[likely]]
        return {1, byteClasses[in[i]]};
    return stepNonAscii(in, i, length);
}

}  // namespace unicode_detail

// Calls emit(std::string_view token) or, when emit takes it,
// emit(std::string_view token, std::uint32_t start) (see forEachToken) for
// each token of bytes[0, length), read as UTF-8, in order. A word is a run of letters, combining marks and numbers;
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
    using byteclass_detail::BlockMasks;
    const auto send = [&emit](std::string_view token, std::uint32_t start) __attribute__((always_inline)) {
        return byteclass_detail::sendToken(emit, token, start);
    };
    const auto *in = reinterpret_cast<const unsigned char *>(bytes);
    // Blocks of 64 ASCII bytes without a zero are cut from bit masks, as the
    // byte rules cut them; other blocks are decoded character by character,
    // from the start of the block up to the first character boundary at or
    // past its end. A word in progress may cross from one kind to the other.
    constexpr std::uint32_t none = UINT32_MAX;
    std::uint32_t wordStart = none;  // where the word in progress started, if one is
    // 64 bits, so that the step past the last block cannot wrap around.
    std::uint64_t base = 0;
    while (base < length) {
        if (length - base >= 64) {
            std::uint64_t high = 0;
            for (int k = 0; k < 64; k += 8) {
                std::uint64_t v;
                std::memcpy(&v, bytes + base + k, sizeof v);
                high |= v;
            }
            const BlockMasks masks = byteclass_detail::classifyBlock(in + base);
            if ((high & 0x8080808080808080ull) == 0 && masks.zero == 0) {
                std::uint64_t words = masks.word;
                if (wordStart != none) {
                    // The word in progress goes on through the block's leading word bytes.
                    const int run = std::countr_one(words);
                    if (run < 64) {
                        if (!send(std::string_view(bytes + wordStart, base + run - wordStart), wordStart))
                            return;
                        wordStart = none;
                        words &= ~std::uint64_t{0} << run;
                    }
                }
                std::uint64_t starts = wordStart != none ? 0 : (words & ~(words << 1)) | masks.mark;
                while (starts != 0) {
                    const int at = std::countr_zero(starts);
                    starts &= starts - 1;
                    // The word bytes from `at` on: none for a mark, which is one byte long.
                    const int run = std::countr_one(words >> at);
                    if (at + run == 64) {
                        wordStart = static_cast<std::uint32_t>(base + at);  // goes on in the next block
                        break;
                    }
                    if (!send(std::string_view(bytes + base + at, static_cast<std::size_t>(run + (run == 0))),
                              static_cast<std::uint32_t>(base + at)))
                        return;
                }
                base += 64;
                continue;
            }
        }
        const std::uint64_t blockEnd = base + 64 < length ? base + 64 : length;
        auto i = static_cast<std::uint32_t>(base);
        while (i < blockEnd) {
            Step step = stepAt(in, i, length);
            if (step.kind == ByteClass::Word) {
                if (wordStart == none)
                    wordStart = i;
                i += step.length;
                continue;
            }
            if (step.kind == ByteClass::Zero && wordStart != none) {
                // The word goes on across U+0000: gather its bytes without
                // them, to its end wherever that is.
                word.assign(bytes + wordStart, i - wordStart);
                const std::uint32_t start = wordStart;
                wordStart = none;
                while (i < length) {
                    step = stepAt(in, i, length);
                    if (step.kind == ByteClass::Word)
                        word.append(bytes + i, step.length);
                    else if (step.kind != ByteClass::Zero)
                        break;
                    i += step.length;
                }
                if (!send(word, start))
                    return;
                continue;  // what ended the word is read again
            }
            if (wordStart != none) {
                if (!send(std::string_view(bytes + wordStart, i - wordStart), wordStart))
                    return;
                wordStart = none;
            }
            if (step.kind == ByteClass::Mark && !send(std::string_view(bytes + i, step.length), i))
                return;
            i += step.length;  // a mark, a separator, or a U+0000 outside a word
        }
        base = i;
    }
    if (wordStart != none)
        send(std::string_view(bytes + wordStart, length - wordStart), wordStart);
}

// Appends `token` case-folded to `out`. Without `unicode`, only A-Z become
// a-z; with it, every code point takes its simple case folding (lengths may
// change: KELVIN SIGN becomes 'k'). Ill-formed bytes are copied unchanged.
void appendFolded(std::string_view token, bool unicode, std::string &out);
