// ByteClass: how the tokenizer treats each byte value (internal to the corpus library).
#pragma once

#include <array>
#include <cstdint>

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
// `word` is scratch storage reused across words.
template <typename Emit>
void forEachToken(const char *bytes, std::uint32_t length, std::string &word, Emit &&emit)
{
    word.clear();
    for (std::uint32_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        switch (byteClasses[byte]) {
        case ByteClass::Word:
            word.push_back(static_cast<char>(byte));
            break;
        case ByteClass::Mark:
            if (!word.empty()) {
                emit(std::string_view(word));
                word.clear();
            }
            emit(std::string_view(bytes + i, 1));
            break;
        case ByteClass::Separator:
            if (!word.empty()) {
                emit(std::string_view(word));
                word.clear();
            }
            break;
        case ByteClass::Zero:
            break;  // the word goes on across it
        }
    }
    if (!word.empty())
        emit(std::string_view(word));
}
