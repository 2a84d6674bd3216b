#include "UnicodeTokens.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

ByteClass unicode_detail::classifyNonAscii(char32_t c)
{
    const std::uint32_t category = U_MASK(u_charType(static_cast<UChar32>(c)));
    if (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK))
        return ByteClass::Word;
    if (category & (U_GC_P_MASK | U_GC_S_MASK))
        return ByteClass::Mark;
    return ByteClass::Separator;
}

void appendFolded(std::string_view token, bool unicode, std::string &out)
{
    const auto foldAscii = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    if (!unicode) {
        // Sized once, folded in place: a token can be as long as the text.
        const std::size_t at = out.size();
        out.append(token);
        for (auto c = out.begin() + static_cast<std::ptrdiff_t>(at); c != out.end(); ++c)
            *c = foldAscii(*c);
        return;
    }
    out.reserve(out.size() + token.size());
    const auto *in = reinterpret_cast<const std::uint8_t *>(token.data());
    const auto length = static_cast<std::int32_t>(token.size());
    std::int32_t i = 0;
    while (i < length) {
        if (in[i] < 0x80) {
            // Simple folding changes no ASCII character but A-Z.
            out.push_back(foldAscii(static_cast<char>(in[i])));
            ++i;
            continue;
        }
        const std::int32_t start = i;
        UChar32 c;
        U8_NEXT(in, i, length, c);
        if (c < 0) {
            out.append(token.data() + start, static_cast<std::size_t>(i - start));
            continue;
        }
        std::uint8_t encoded[U8_MAX_LENGTH];
        std::int32_t n = 0;
        U8_APPEND_UNSAFE(encoded, n, u_foldCase(c, U_FOLD_CASE_DEFAULT));
        out.append(reinterpret_cast<const char *>(encoded), static_cast<std::size_t>(n));
    }
}
