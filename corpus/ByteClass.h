// ByteClass: how the tokenizer treats each byte value (internal to the corpus library).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

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

// Calls emit(std::string_view) for each token of bytes[0, length), in order.
// A token is a view of `bytes` itself unless a zero byte stands inside its
// word: then it is gathered in `word`, scratch storage reused across words,
// and the view lasts until the next call of emit. If emit returns bool,
// false stops the scan.
template <typename Emit>
void forEachToken(const char *bytes, std::uint32_t length, std::string &word, Emit &&emit)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes);
    const auto send = [&emit](std::string_view token) {
        if constexpr (std::is_same_v<decltype(emit(token)), bool>)
            return emit(token);
        else
            return emit(token), true;
    };
    std::uint32_t i = 0;
    while (i < length) {
        const ByteClass kind = byteClasses[in[i]];
        if (kind == ByteClass::Mark) {
            if (!send(std::string_view(bytes + i, 1)))
                return;
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
        if (!send(token))
            return;
    }
}
