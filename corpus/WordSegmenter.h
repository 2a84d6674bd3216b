// WordSegmenter: ICU's word break iterator for the root locale (UAX #29, with dictionaries for Chinese, Japanese, Thai, Lao, Khmer and Burmese), one per thread, handing out a text's segments in batches (internal to the corpus library; ICU stays in the .cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class WordSegmenter {
public:
    // One segment of the text given to start(): bytes [start, end), and
    // whether ICU's rule status calls it a word (a number, letter, kana or
    // ideographic segment: UBRK_WORD_NONE_LIMIT or more).
    struct Piece {
        std::uint32_t start;
        std::uint32_t end;
        bool word;
    };
    // At most this many pieces come from one call of next().
    static constexpr std::size_t batchSize = 256;
    // The longest text that start() takes: ICU numbers positions with int32_t.
    static constexpr std::uint32_t maxText = 1u << 30;

    // Throws std::runtime_error when ICU's word break rules cannot be loaded
    // (its data is missing).
    WordSegmenter();
    ~WordSegmenter();
    WordSegmenter(const WordSegmenter &) = delete;
    WordSegmenter &operator=(const WordSegmenter &) = delete;

    // Segments text[0, length): well-formed UTF-8 without U+0000, at most
    // maxText bytes, which must stay unchanged until the last next().
    void start(const char *text, std::uint32_t length);
    // The next segments of the text, in order and covering it; empty once
    // all have been handed out. The span lasts until the next call.
    std::span<const Piece> next();

    // Scratch storage of the tokenizer, kept with the segmenter so that a
    // scan allocates nothing once they are large enough: a text with its
    // U+0000 removed, and the offset each of its bytes had in the original.
    std::string plain;
    std::vector<std::uint32_t> origin;

    // The calling thread's segmenter, lent for one scan and kept for the
    // next one: the iterator is made once per thread (cloned from one made
    // once per process), never per text. A scan that starts inside another
    // one's emit, on the same thread, is lent a segmenter of its own.
    class Lease {
    public:
        Lease();
        ~Lease();
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        WordSegmenter &operator*() const { return *held_; }
        WordSegmenter *operator->() const { return held_.get(); }

    private:
        std::unique_ptr<WordSegmenter> held_;
    };

private:
    struct Icu;
    std::unique_ptr<Icu> icu_;
    Piece pieces_[batchSize];
    std::int32_t at_ = 0;      // the last boundary handed out, in the units ICU reads
    std::uint32_t atByte_ = 0;  // the same in bytes of the text
    bool utf16_ = false;        // whether ICU reads a UTF-16 copy of the text
    bool done_ = true;
};
