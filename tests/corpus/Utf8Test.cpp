// The one UTF-8 reading against ICU's: characters, refusals and maximal subparts.
#include "Utf8.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Each step as (code point or -1, bytes taken), read by our functions and by ICU.
std::vector<std::pair<std::int32_t, std::size_t>> ours(const std::string &bytes)
{
    std::vector<std::pair<std::int32_t, std::size_t>> out;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        if (in[i] < 0x80) {
            out.emplace_back(in[i], 1);
            ++i;
            continue;
        }
        const Utf8Char c = decodeUtf8NonAscii(in + i, bytes.size() - i);
        const std::size_t taken = c.length > 0 ? c.length : utf8MaximalSubpart(in + i, bytes.size() - i);
        out.emplace_back(c.length > 0 ? static_cast<std::int32_t>(c.codePoint) : -1, taken);
        i += taken;
    }
    return out;
}

std::vector<std::pair<std::int32_t, std::size_t>> icus(const std::string &bytes)
{
    std::vector<std::pair<std::int32_t, std::size_t>> out;
    const auto *in = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const auto length = static_cast<std::int32_t>(bytes.size());
    for (std::int32_t i = 0; i < length;) {
        const std::int32_t from = i;
        UChar32 c = 0;
        U8_NEXT(in, i, length, c);
        out.emplace_back(c < 0 ? -1 : c, static_cast<std::size_t>(i - from));
    }
    return out;
}

TEST(Utf8, ReadsAsIcuDoesEveryCharacterAndEveryIllFormedPart)
{
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        std::string bytes;
        std::int32_t at = 0;
        std::uint8_t buffer[4];
        UBool error = false;
        U8_APPEND(buffer, at, 4, c, error);
        if (c >= 0xD800 && c <= 0xDFFF) {
            ASSERT_TRUE(error);  // surrogates have no UTF-8 form
            continue;
        }
        bytes.assign(reinterpret_cast<const char *>(buffer), static_cast<std::size_t>(at));
        ASSERT_EQ(ours(bytes), icus(bytes)) << std::hex << static_cast<std::uint32_t>(c);
    }
    // Unicode's own example of maximal subparts, overlong forms, surrogates,
    // past U+10FFFF, and sequences cut short.
    for (const std::string &bytes : {std::string("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
                                    std::string("\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF"), std::string("\xED\xA0\x80"),
                                    std::string("\xF4\x90\x80\x80"), std::string("\xE2\x82"), std::string("\xF0\x9F\x98")})
        EXPECT_EQ(ours(bytes), icus(bytes));
    // Random bytes, weighted to lead and continuation bytes.
    std::mt19937 random(8);
    const unsigned char pool[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF,
                                  0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 9, '\0');
        for (char &b : bytes)
            b = static_cast<char>(pool[random() % sizeof pool]);
        ASSERT_EQ(ours(bytes), icus(bytes));
    }
}

}  // namespace
