// ByteClass: how the tokenizer treats each byte value (internal to the corpus library).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum class ByteClass : std::uint8_t { Word, Mark, Separator, Zero };

// Letters and digits build words; printable ASCII symbols are one-byte marks;
// controls, the blank, 0x7F and every byte from 0x80 separate; the zero byte is passed over.
inline constexpr std::array<ByteClass, 256> byteClasses = [] {
    std::array<ByteClass, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
            classes[b] = ByteClass::Word;
        else if (b >= 0x21 && b <= 0x7E)
            classes[b] = ByteClass::Mark;
        else if (b == 0)
            classes[b] = ByteClass::Zero;
        else
            classes[b] = ByteClass::Separator;
    }
    return classes;
}();

namespace byteclass_detail {

// Hands a token to a tokenizer's emit callback: as emit(token, start) when
// emit takes the offset of the token's first byte too, else as emit(token).
// False when emit returned false, which stops the scan.
template <typename Emit>
inline __attribute__((always_inline)) bool sendToken(Emit &emit, std::string_view token, std::uint32_t start)
{
    if constexpr (std::is_invocable_v<Emit &, std::string_view, std::uint32_t>) {
        if constexpr (std::is_same_v<std::invoke_result_t<Emit &, std::string_view, std::uint32_t>, bool>)
            return emit(token, start);
        else
            return emit(token, start), true;
    } else {
        if constexpr (std::is_same_v<std::invoke_result_t<Emit &, std::string_view>, bool>)
            return emit(token);
        else
            return emit(token), true;
    }
}

// Bit i of each mask tells the class of block[i], for 64 bytes.
struct BlockMasks {
    std::uint64_t word;
    std::uint64_t mark;
    std::uint64_t zero;
};

inline BlockMasks classifyBlock(const unsigned char *block)
{
#if defined(__SSE2__)
    // A byte is in [lo, lo + count) if, moved so that lo lands on the smallest
    // signed byte, it is below the smallest plus count.
    const auto inRange = [](__m128i v, char lo, char count) {
        const __m128i moved = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - lo)));
        return _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-128 + count)));
    };
    BlockMasks masks{0, 0, 0};
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * part));
        const __m128i letter = inRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 26);
        const __m128i word = _mm_or_si128(inRange(v, '0', 10), letter);
        const __m128i printable = inRange(v, 0x21, 0x7e - 0x21 + 1);
        const auto bits = [part](__m128i m) {
            return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(m))) << (16 * part);
        };
        masks.word |= bits(word);
        masks.mark |= bits(_mm_andnot_si128(word, printable));
        masks.zero |= bits(_mm_cmpeq_epi8(v, _mm_setzero_si128()));
    }
    return masks;
#else
    BlockMasks masks{0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        const ByteClass kind = byteClasses[block[i]];
        masks.word |= std::uint64_t{kind == ByteClass::Word} << i;
        masks.mark |= std::uint64_t{kind == ByteClass::Mark} << i;
        masks.zero |= std::uint64_t{kind == ByteClass::Zero} << i;
    }
    return masks;
#endif
}

// Emits the tokens of in[from, length) one byte at a time; a word may start
// at `from`. Handles zero bytes inside words, which it gathers in `word`.
// False if send stopped the scan.
template <typename Send>
bool tokenizeBytewise(const char *bytes, std::uint32_t from, std::uint32_t length, std::string &word, Send &send)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes);
    std::uint32_t i = from;
    while (i < length) {
        const ByteClass kind = byteClasses[in[i]];
        if (kind == ByteClass::Mark) {
            if (!send(std::string_view(bytes + i, 1), i))
                return false;
            ++i;
            continue;
        }
        if (kind != ByteClass::Word) {
            ++i;  // a separator, or a zero byte outside a word: nothing to end
            continue;
        }
        const std::uint32_t start = i;
        while (i < length && byteClasses[in[i]] == ByteClass::Word)
            ++i;
        std::string_view token(bytes + start, i - start);
        if (i < length && in[i] == 0) {
            // The word goes on across zero bytes: gather its bytes without them.
            word.assign(token);
            for (; i < length; ++i) {
                const ByteClass next = byteClasses[in[i]];
                if (next == ByteClass::Word)
                    word.push_back(bytes[i]);
                else if (next != ByteClass::Zero)
                    break;
            }
            token = word;
        }
        if (!send(token, start))
            return false;
    }
    return true;
}

}  // namespace byteclass_detail

// Calls emit(std::string_view token) or, when emit takes it,
// emit(std::string_view token, std::uint32_t start) for each token of
// bytes[0, length), in order; `start` is the offset in `bytes` of the
// token's first byte. A token is a view of `bytes` itself unless a zero byte
// stands inside its word: then it is gathered in `word`, scratch storage
// reused across words, and the view lasts until the next call of emit (its
// start is still that of its first byte). If emit returns bool, false stops
// the scan.
template <typename Emit>
void forEachToken(const char *bytes, std::uint32_t length, std::string &word, Emit &&emit)
{
    using namespace byteclass_detail;
    const auto send = [&emit](std::string_view token, std::uint32_t start) __attribute__((always_inline)) {
        return sendToken(emit, token, start);
    };
    // Blocks of 64 bytes are classified at once into bit masks, and tokens
    // are read off the masks: a byte-by-byte loop mispredicts a branch or two
    // at every token of natural text. The last, partial block is copied and
    // filled up with blanks, which end a word as the end of the text does. A
    // block with a zero byte hands the rest of the text, from the start of
    // the word in progress, to the byte-by-byte loop (zero bytes are rare).
    constexpr std::uint32_t none = UINT32_MAX;
    std::uint32_t wordStart = none;  // where the word in progress started, if one is
    // 64 bits, so that the step past the last block cannot wrap around.
    for (std::uint64_t base = 0; base < length; base += 64) {
        BlockMasks masks;
        if (length - base >= 64) {
            masks = classifyBlock(reinterpret_cast<const unsigned char *>(bytes + base));
        } else {
            unsigned char last[64];
            std::memset(last, ' ', sizeof last);
            std::memcpy(last, bytes + base, length - base);
            masks = classifyBlock(last);
        }
        if (masks.zero != 0) {
            tokenizeBytewise(bytes, wordStart != none ? wordStart : static_cast<std::uint32_t>(base), length, word,
                             send);
            return;
        }
        std::uint64_t words = masks.word;
        if (wordStart != none) {
            // The word in progress goes on through the block's leading word bytes.
            const int run = std::countr_one(words);
            if (run == 64)
                continue;
            if (!send(std::string_view(bytes + wordStart, base + run - wordStart), wordStart))
                return;
            wordStart = none;
            words &= ~std::uint64_t{0} << run;
        }
        std::uint64_t starts = (words & ~(words << 1)) | masks.mark;
        while (starts != 0) {
            const int at = std::countr_zero(starts);
            starts &= starts - 1;
            // The word bytes from `at` on: none for a mark, which is one byte long.
            const int run = std::countr_one(words >> at);
            if (at + run == 64) {
                wordStart = static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(at);  // goes on in the next block
                break;
            }
            if (!send(std::string_view(bytes + base + at, static_cast<std::size_t>(run + (run == 0))),
                      static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(at)))
                return;
        }
    }
    if (wordStart != none)
        send(std::string_view(bytes + wordStart, length - wordStart), wordStart);
}
