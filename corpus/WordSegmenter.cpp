#include "WordSegmenter.h"

#include <unicode/ubrk.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>

#include <stdexcept>
#include <utility>
#include <vector>

struct WordSegmenter::Icu {
    UBreakIterator *iterator = nullptr;
    // A text of up to copyMost bytes is copied as UTF-16, which ICU's rules
    // and dictionaries read directly: through UText's access functions, every
    // character of UTF-8 costs about a tenth more of ICU's time. A longer
    // one (a line of many megabytes) is read as UTF-8 in place, reopened over
    // each text, so that no copy grows with the line.
    static constexpr std::uint32_t copyMost = 4u << 20;
    std::vector<UChar> utf16;
    UText text = UTEXT_INITIALIZER;

    ~Icu()
    {
        ubrk_close(iterator);
        utext_close(&text);
    }
};

namespace {

// The iterator every thread's is cloned from: loading the rules and opening
// the dictionaries once, cloning after. Never closed, so that no thread's
// clone can outlive it.
const UBreakIterator *prototype()
{
    static UBreakIterator *const made = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator *iterator = ubrk_open(UBRK_WORD, "", nullptr, 0, &status);
        if (U_FAILURE(status)) {
            ubrk_close(iterator);
            return static_cast<UBreakIterator *>(nullptr);
        }
        return iterator;
    }();
    return made;
}

// The calling thread's segmenter while no scan holds it.
thread_local std::unique_ptr<WordSegmenter> kept;

}  // namespace

WordSegmenter::WordSegmenter() : icu_(std::make_unique<Icu>())
{
    UErrorCode status = U_ZERO_ERROR;
    const UBreakIterator *from = prototype();
    if (from != nullptr)
        icu_->iterator = ubrk_clone(from, &status);
    if (from == nullptr || U_FAILURE(status))
        throw std::runtime_error("ICU's word break rules cannot be loaded");
}

WordSegmenter::~WordSegmenter() = default;

void WordSegmenter::start(const char *text, std::uint32_t length)
{
    UErrorCode status = U_ZERO_ERROR;
    utf16_ = length <= Icu::copyMost;
    if (utf16_) {
        // A character takes at most as many UTF-16 units as UTF-8 bytes.
        if (icu_->utf16.size() < length)
            icu_->utf16.resize(length);
        std::int32_t units = 0;
        u_strFromUTF8(icu_->utf16.data(), static_cast<std::int32_t>(icu_->utf16.size()), &units, text,
                      static_cast<std::int32_t>(length), &status);
        ubrk_setText(icu_->iterator, icu_->utf16.data(), units, &status);
    } else {
        utext_openUTF8(&icu_->text, text, static_cast<std::int64_t>(length), &status);
        ubrk_setUText(icu_->iterator, &icu_->text, &status);
    }
    // Only a failure to allocate can fail here; a text that was not
    // segmented must not pass for one without words.
    if (U_FAILURE(status))
        throw std::bad_alloc();
    at_ = ubrk_first(icu_->iterator);
    atByte_ = 0;
    done_ = length == 0;
}

std::span<const WordSegmenter::Piece> WordSegmenter::next()
{
    std::size_t n = 0;
    while (!done_ && n < batchSize) {
        const std::int32_t end = ubrk_next(icu_->iterator);
        if (end == UBRK_DONE) {
            done_ = true;
            break;
        }
        // The boundary in bytes: the UTF-8 length of the units passed.
        std::uint32_t endByte = static_cast<std::uint32_t>(end);
        if (utf16_) {
            endByte = atByte_;
            const UChar *units = icu_->utf16.data();
            for (std::int32_t k = at_; k < end; ++k) {
                const UChar unit = units[k];
                endByte += unit < 0x80 ? 1 : unit < 0x800 ? 2 : U16_IS_SURROGATE(unit) ? 2 : 3;
            }
        }
        pieces_[n++] = {atByte_, endByte, ubrk_getRuleStatus(icu_->iterator) >= UBRK_WORD_NONE_LIMIT};
        at_ = end;
        atByte_ = endByte;
    }
    return {pieces_, n};
}

WordSegmenter::Lease::Lease() : held_(kept ? std::move(kept) : std::make_unique<WordSegmenter>()) {}

WordSegmenter::Lease::~Lease()
{
    if (!kept)
        kept = std::move(held_);
}
