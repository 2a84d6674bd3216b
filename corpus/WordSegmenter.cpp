#include "WordSegmenter.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <stdexcept>
#include <utility>

struct WordSegmenter::Icu {
    UBreakIterator *iterator = nullptr;
    // Reopened over each text: ICU reads UTF-8 in place, without a UTF-16 copy.
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
    utext_openUTF8(&icu_->text, text, static_cast<std::int64_t>(length), &status);
    ubrk_setUText(icu_->iterator, &icu_->text, &status);
    // Only a failure to allocate can fail here; a text that was not
    // segmented must not pass for one without words.
    if (U_FAILURE(status))
        throw std::bad_alloc();
    at_ = ubrk_first(icu_->iterator);
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
        pieces_[n++] = {static_cast<std::uint32_t>(at_), static_cast<std::uint32_t>(end),
                        ubrk_getRuleStatus(icu_->iterator) >= UBRK_WORD_NONE_LIMIT};
        at_ = end;
    }
    return {pieces_, n};
}

WordSegmenter::Lease::Lease() : held_(kept ? std::move(kept) : std::make_unique<WordSegmenter>()) {}

WordSegmenter::Lease::~Lease()
{
    if (!kept)
        kept = std::move(held_);
}
