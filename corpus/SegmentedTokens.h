// SegmentedTokens: cutting UTF-8 text into words by ICU's word break rules, with dictionaries for the scripts written without blanks, and the rest by the Unicode category rules (internal to the corpus library).
#pragma once

#include "ByteClass.h"
#include "UnicodeTokens.h"
#include "WordSegmenter.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace segment_detail {

// What an ASCII byte is to the places where ICU's word rules join what the
// category rules cut: letters and digits, the underscore (ExtendNumLet),
// "." and "'" (MidNumLet and Single_Quote), ":" (MidLetter), "," and ";"
// (MidNum); U+0000, which is removed before segmenting, and "@", which ICU's
// root rules count among the letters (for addresses), always send a line to ICU.
enum AsciiKind : std::uint8_t { Other, Letter, Digit, Underscore, MidNumLet, MidLetter, MidNum, Zero, kinds };

inline constexpr std::array<std::uint8_t, 128> asciiKinds = [] {
    std::array<std::uint8_t, 128> table{};
    for (int b = 0; b < 128; ++b) {
        table[b] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ? Letter
                   : b >= '0' && b <= '9'                          ? Digit
                   : b == '_'                                      ? Underscore
                   : b == '.' || b == '\''                         ? MidNumLet
                   : b == ':'                                      ? MidLetter
                   : b == ',' || b == ';'                          ? MidNum
                   : b == 0 || b == '@'                            ? Zero
                                                                   : Other;
    }
    return table;
}();

// joins[a][b][c]: whether ICU may segment the ASCII bytes of kinds a, b, c
// (in this order) otherwise than the category rules cut them (UAX #29's
// WB6, WB7, WB11, WB12, WB13a and WB13b; a MidLetter between letters is
// counted although the root locale keeps it out). Outside such places, on
// ASCII, a segment is a run of letters and digits (a word), a run of
// blanks, or one other character, which is what the category rules make.
inline constexpr auto joins = [] {
    std::array<std::array<std::array<bool, kinds>, kinds>, kinds> table{};
    for (int a = 0; a < kinds; ++a) {
        for (int b = 0; b < kinds; ++b) {
            for (int c = 0; c < kinds; ++c) {
                const auto alnum = [](int k) { return k == Letter || k == Digit; };
                table[a][b][c] = c == Zero || (c == Underscore && (alnum(b) || b == Underscore))
                                 || (b == Underscore && alnum(c))
                                 || (a == Letter && (b == MidNumLet || b == MidLetter) && c == Letter)
                                 || (a == Digit && (b == MidNumLet || b == MidNum) && c == Digit);
            }
        }
    }
    return table;
}();

// The length of the well-formed UTF-8 character at in[i], whose first byte
// is 0x80 or more, or 0 when it is ill-formed (its first byte is then a
// maximal ill-formed subpart, or the start of one).
inline std::uint32_t wellFormedLength(const unsigned char *in, std::uint32_t i, std::uint32_t length)
{
    return decodeUtf8NonAscii(in + i, length - i).length;
}

// Cuts the ICU segments of text[0, length) (well-formed, without U+0000):
// a word segment is one token, any other is cut by the category rules.
// Calls send(token, offset in text); false when send stopped the scan.
template <typename Send>
bool cutSegments(WordSegmenter &segmenter, const char *text, std::uint32_t length, std::string &word, Send &&send)
{
    segmenter.start(text, length);
    for (auto batch = segmenter.next(); !batch.empty(); batch = segmenter.next()) {
        for (const WordSegmenter::Piece &piece : batch) {
            const std::uint32_t size = piece.end - piece.start;
            if (piece.word) {
                if (!send(std::string_view(text + piece.start, size), piece.start))
                    return false;
                continue;
            }
            const auto first = static_cast<unsigned char>(text[piece.start]);
            if (size == 1 && first < 0x80) {
                // Most of the rest is one blank or one mark.
                if (byteClasses[first] != ByteClass::Separator
                    && !send(std::string_view(text + piece.start, 1), piece.start))
                    return false;
                continue;
            }
            bool going = true;
            forEachUnicodeToken(text + piece.start, size, word,
                                [&](std::string_view token, std::uint32_t at) __attribute__((always_inline)) {
                                    return going = send(token, piece.start + at);
                                });
            if (!going)
                return false;
        }
    }
    return true;
}

}  // namespace segment_detail

// Calls emit(std::string_view token) or, when emit takes it,
// emit(std::string_view token, std::uint32_t start) (see forEachToken) for
// each token of bytes[0, length), read as UTF-8, in order. The text is
// decoded as forEachUnicodeToken decodes it: each maximal ill-formed
// subpart separates, and U+0000 is removed (a word goes on across it). Each
// maximal run of well-formed characters is segmented by ICU's word break
// iterator for the root locale: a segment that ICU's rule status calls a
// number, letter, kana or ideographic word is one token; every other
// segment is cut as forEachUnicodeToken cuts it.
//
// Cutting can restart at the start of a well-formed run and after a line
// feed (ICU always breaks there) without changing the tokens; a run is
// handed to ICU in parts that end at line feeds, except that a line of more
// than about a gigabyte is cut at a character boundary. ASCII lines in
// which no ICU rule can join what the category rules cut (see
// segment_detail::joins) are cut by the byte rules, without ICU.
//
// A token is a view of `bytes` unless a U+0000 stands inside it: then it is
// gathered in `word`, scratch storage reused across tokens, and the view
// lasts until the next call of emit. If emit returns bool, false stops the
// scan. Throws std::runtime_error if ICU's word break data cannot be loaded.
template <typename Emit>
void forEachSegmentedToken(const char *bytes, std::uint32_t length, std::string &word, Emit &&emit)
{
    using namespace segment_detail;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes);
    // Lines are gathered into regions of one kind, ASCII lines cut without
    // ICU or lines for ICU, of about this many bytes, so that a region's
    // bytes are still in the cache when they are cut.
    constexpr std::uint32_t regionBytes = 1u << 20;
    std::optional<WordSegmenter::Lease> segmenter;  // taken at the first region for ICU
    std::uint32_t regionStart = 0;
    bool regionSlow = false;  // whether the region goes to ICU
    // Cuts bytes[regionStart, end) by its kind; false when emit stopped the scan.
    const auto flush = [&](std::uint32_t end) {
        const std::uint32_t from = regionStart;
        regionStart = end;
        if (end == from)
            return true;
        bool going = true;
        if (!regionSlow) {
            forEachToken(bytes + from, end - from, word,
                         [&](std::string_view token, std::uint32_t at) __attribute__((always_inline)) {
                             return going = byteclass_detail::sendToken(emit, token, from + at);
                         });
            return going;
        }
        if (!segmenter)
            segmenter.emplace();
        WordSegmenter &icu = **segmenter;
        if (std::memchr(bytes + from, 0, end - from) == nullptr) {
            return cutSegments(icu, bytes + from, end - from, word,
                               [&](std::string_view token, std::uint32_t at) __attribute__((always_inline)) {
                                   return byteclass_detail::sendToken(emit, token, from + at);
                               });
        }
        // U+0000 is removed first: the region is segmented without it, and
        // each token is sent as a view of `bytes` where no zero stood inside
        // it, else gathered in `word`.
        icu.plain.clear();
        icu.origin.clear();
        for (std::uint32_t k = from; k < end; ++k) {
            if (bytes[k] != 0) {
                icu.plain.push_back(bytes[k]);
                icu.origin.push_back(k);
            }
        }
        const std::string &plain = icu.plain;
        const std::vector<std::uint32_t> &origin = icu.origin;
        going = plain.empty()
                || cutSegments(icu, plain.data(), static_cast<std::uint32_t>(plain.size()), word,
                               [&](std::string_view token, std::uint32_t at) {
                                   const std::uint32_t size = static_cast<std::uint32_t>(token.size());
                                   const std::uint32_t start = origin[at];
                                   if (origin[at + size - 1] - start == size - 1)
                                       return byteclass_detail::sendToken(emit, std::string_view(bytes + start, size),
                                                                          start);
                                   word.assign(token);
                                   return byteclass_detail::sendToken(emit, std::string_view(word), start);
                               });
        // A region is at most a line longer than regionBytes; keep no more than that.
        if (icu.plain.capacity() > 4 * std::size_t{regionBytes}) {
            icu.plain = std::string();
            icu.origin = std::vector<std::uint32_t>();
        }
        return going;
    };

    std::uint32_t i = 0;
    while (i < length) {
        if (i - regionStart >= regionBytes && !flush(i))
            return;
        // One line: up to and with its line feed, or up to an ill-formed
        // byte, or (absurdly long) to a part that ICU can number.
        const std::uint32_t lineStart = i;
        const std::uint32_t limit =
            length - lineStart > WordSegmenter::maxText - regionBytes ? lineStart + (WordSegmenter::maxText - regionBytes)
                                                                      : length;
        bool slow = false;
        bool illFormed = false;
        std::uint8_t before = Other, last = Other;
        while (i < limit) {
            const unsigned c = in[i];
            if (c < 0x80) {
                ++i;
                if (c == '\n')
                    break;
                const std::uint8_t kind = asciiKinds[c];
                slow |= joins[before][last][kind];
                before = last;
                last = kind;
                continue;
            }
            const std::uint32_t n = wellFormedLength(in, i, length);
            if (n == 0) {
                illFormed = true;
                break;
            }
            slow = true;
            i += n;
        }
        // A short line that ICU would not cut otherwise stays in a region
        // for ICU: a region costs ICU more than a short line does.
        const bool forIcu = slow || (regionSlow && regionStart != lineStart && i - lineStart < 64);
        if (forIcu != regionSlow) {
            if (!flush(lineStart))
                return;
            regionSlow = forIcu;
        }
        if (illFormed) {
            // The byte separates, and the run after it starts afresh.
            if (!flush(i))
                return;
            regionStart = ++i;
        }
    }
    flush(length);
}
