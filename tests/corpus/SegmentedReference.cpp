#include "SegmentedReference.h"

#include "UnicodeTokens.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>
#include <stdexcept>

std::vector<ReferenceToken> segmentedReference(std::string_view text)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::BreakIterator> words(
        icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        throw std::runtime_error("no word break iterator");
    std::vector<ReferenceToken> out;
    std::string run;
    std::vector<std::uint32_t> origin;
    const auto segmentRun = [&] {
        const icu::UnicodeString utf16 = icu::UnicodeString::fromUTF8(run);
        words->setText(utf16);
        // UTF-16 boundaries back to UTF-8 offsets in the run.
        std::vector<std::uint32_t> byteAt;
        std::uint32_t bytes = 0;
        for (std::int32_t k = 0; k < utf16.length(); ++k) {
            byteAt.push_back(bytes);
            const char16_t unit = utf16[k];
            bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : U16_IS_LEAD(unit) ? 4 : U16_IS_TRAIL(unit) ? 0 : 3;
        }
        byteAt.push_back(bytes);
        for (std::int32_t from = words->first(), to = words->next(); to != icu::BreakIterator::DONE;
             from = to, to = words->next()) {
            const std::uint32_t a = byteAt[static_cast<std::size_t>(from)], b = byteAt[static_cast<std::size_t>(to)];
            const auto add = [&](std::string_view token, std::uint32_t at) {
                out.push_back({std::string(token), origin[a + at]});
            };
            if (words->getRuleStatus() >= UBRK_WORD_NONE_LIMIT) {
                add(std::string_view(run).substr(a, b - a), 0);
                continue;
            }
            std::string word;
            forEachUnicodeToken(run.data() + a, b - a, word, add);
        }
        run.clear();
        origin.clear();
    };
    const auto *in = reinterpret_cast<const std::uint8_t *>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        const std::int32_t start = i;
        UChar32 c;
        U8_NEXT(in, i, length, c);
        if (c < 0) {
            segmentRun();
        } else if (c != 0) {
            run.append(text.data() + start, static_cast<std::size_t>(i - start));
            for (std::int32_t k = start; k < i; ++k)
                origin.push_back(static_cast<std::uint32_t>(k));
        }
    }
    segmentRun();
    return out;
}
