// ParallelSegments: cutting a long text by the segmented word rules on two cores, its tokens handed over in text order (internal to the corpus library).
#pragma once

#include "SegmentedTokens.h"
#include "Tokenizer.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// ICU's dictionaries cut Chinese or Thai several times slower than the rest
// of making a corpus. A long text is therefore cut in blocks that end at line
// feeds (where cutting restarts without changing the tokens): a helper
// thread cuts blocks ahead of the caller into buffers, while the caller takes
// the blocks in order, cutting each one that no one has taken yet itself and
// replaying the buffered ones. So the dictionaries' work is shared by two
// cores and the caller's own work on the tokens overlaps it.
class ParallelSegments {
public:
    // A buffered token: its first byte's offset in the text and its length;
    // its bytes are the text's there, or, when gathered across U+0000, those
    // at `gathered` in the block's gathered bytes.
    struct Token {
        std::uint32_t start;
        std::uint32_t size;
        std::uint32_t gathered;
    };
    static constexpr std::uint32_t notGathered = UINT32_MAX;
    // Whether a text of `length` bytes is worth a second thread.
    static bool worthIt(std::uint32_t length);

    // Splits bytes[0, length) into blocks and, when there are several,
    // starts the helper thread. The bytes must outlive the object, and
    // `stop` (may be null) too: once it is set, the block being cut stops
    // within a few hundred kilobytes and claiming it throws
    // Progress::Stopped.
    ParallelSegments(const char *bytes, std::uint32_t length, const std::atomic<bool> *stop = nullptr);
    // Stops and joins the helper.
    ~ParallelSegments();
    ParallelSegments(const ParallelSegments &) = delete;
    ParallelSegments &operator=(const ParallelSegments &) = delete;

    std::size_t blockCount() const { return blocks_.size(); }
    std::uint32_t blockStart(std::size_t k) const { return blocks_[k].from; }
    std::uint32_t blockEnd(std::size_t k) const { return blocks_[k].to; }

    // Block k, the next in order: false when the caller is to cut it itself
    // (no one had taken it), true once its tokens are buffered (meanwhile the
    // caller may cut later blocks into their buffers). Rethrows what the
    // helper threw.
    bool claim(std::size_t k);
    // A claimed block's buffered tokens, and its gathered bytes.
    std::span<const Token> tokens(std::size_t k) const { return blocks_[k].tokens; }
    std::string_view gathered(std::size_t k) const { return blocks_[k].gathered; }
    // Block k is done with: its buffers are freed, and the helper may cut
    // further ahead.
    void done(std::size_t k);

private:
    enum State : int { Free, Taken, Ready };
    struct Block {
        Block(std::uint32_t from_, std::uint32_t to_) : from(from_), to(to_) {}
        std::uint32_t from, to;
        std::atomic<int> state{Free};
        std::vector<Token> tokens;
        std::string gathered;
        std::exception_ptr failure;  // what cutting it threw, set before it is marked ready
    };

    // Takes the first free block of those the window allows past the next
    // one in order; null if there is none.
    Block *takeAhead();
    // Cuts a taken block into its buffers and marks it ready.
    void fill(Block &block);
    void help();

    const char *bytes_;
    std::deque<Block> blocks_;  // a deque: blocks hold atomics, which never move
    std::atomic<std::uint32_t> next_{0};       // the block the caller takes next
    std::atomic<std::uint32_t> untaken_{0};    // blocks no one has taken yet
    std::atomic<bool> stop_{false};  // set when the helper failed, the caller left, or a stop was asked for
    const std::atomic<bool> *stopRequested_;
    std::thread helper_;
};

// Calls emit(token, start) for each token of bytes[0, length) by the rules
// of `options`, in order, as forEachTokenOf does (emit returns nothing: the
// scan cannot stop, but emit may throw). A long text cut by the segmented
// rules is cut on two cores (see ParallelSegments); its tokens and offsets
// are the same. The helper core heeds `stop` (may be null) on its own;
// the caller's emit is to read it too, as the helper never waits for it.
template <typename Emit>
void forEachTokenSharingCores(const CorpusOptions &options, const char *bytes, std::uint32_t length,
                              std::string &word, const std::atomic<bool> *stop, Emit &&emit)
{
    if (options.words != WordRules::Segmented || !ParallelSegments::worthIt(length)) {
        forEachTokenOf(options, bytes, length, word, std::forward<Emit>(emit));
        return;
    }
    ParallelSegments parallel(bytes, length, stop);
    for (std::size_t k = 0; k < parallel.blockCount(); ++k) {
        const std::uint32_t from = parallel.blockStart(k);
        if (!parallel.claim(k)) {
            forEachSegmentedToken(bytes + from, parallel.blockEnd(k) - from, word,
                                  [&](std::string_view token, std::uint32_t start) __attribute__((always_inline)) {
                                      emit(token, from + start);
                                  });
        } else {
            const std::string_view gathered = parallel.gathered(k);
            for (const ParallelSegments::Token &token : parallel.tokens(k)) {
                emit(token.gathered == ParallelSegments::notGathered ? std::string_view(bytes + token.start, token.size)
                                                                     : gathered.substr(token.gathered, token.size),
                     token.start);
            }
        }
        parallel.done(k);
    }
}
