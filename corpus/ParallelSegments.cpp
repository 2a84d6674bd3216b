#include "ParallelSegments.h"

#include "Progress.h"

#include <cstring>

namespace {

// Blocks of about this many bytes, each ending at a line feed: small enough
// that a text of a few hundred kilobytes is shared out, large enough that a
// block's bookkeeping is nothing beside its cutting.
constexpr std::uint32_t blockBytes = 64 * 1024;
// The helper cuts at most this many blocks past the one the caller takes
// next, which bounds the memory of the buffers.
constexpr std::uint32_t window = 8;
// A block is one line when its line is long: cutting one reads the stop
// flags every this many bytes of it.
constexpr std::uint32_t pollBytes = 256 * 1024;

}  // namespace

bool ParallelSegments::worthIt(std::uint32_t length)
{
    return length >= 2 * blockBytes && std::thread::hardware_concurrency() >= 2;
}

ParallelSegments::ParallelSegments(const char *bytes, std::uint32_t length, const std::atomic<bool> *stop)
    : bytes_(bytes), stopRequested_(stop)
{
    std::uint32_t from = 0;
    while (from < length) {
        std::uint32_t to = length;
        if (length - from > blockBytes) {
            const void *feed = std::memchr(bytes + from + blockBytes, '\n', length - from - blockBytes);
            if (feed != nullptr)
                to = static_cast<std::uint32_t>(static_cast<const char *>(feed) - bytes) + 1;
        }
        blocks_.emplace_back(from, to);
        from = to;
    }
    untaken_ = static_cast<std::uint32_t>(blocks_.size());
    if (blocks_.size() > 1)
        helper_ = std::thread([this] { help(); });
}

ParallelSegments::~ParallelSegments()
{
    if (!helper_.joinable())
        return;
    stop_ = true;
    // The helper may be waiting for the caller to move on.
    next_.fetch_add(1);
    next_.notify_all();
    helper_.join();
}

ParallelSegments::Block *ParallelSegments::takeAhead()
{
    const std::uint32_t next = next_.load();
    const auto end = static_cast<std::uint32_t>(std::min<std::size_t>(blocks_.size(), std::size_t{next} + window));
    for (std::uint32_t k = next; k < end; ++k) {
        int expected = Free;
        if (blocks_[k].state.load() == Free && blocks_[k].state.compare_exchange_strong(expected, Taken)) {
            untaken_.fetch_sub(1);
            return &blocks_[k];
        }
    }
    return nullptr;
}

void ParallelSegments::fill(Block &block)
{
    std::string word;
    std::uint32_t nextPoll = pollBytes;
    bool asked = false;  // the stop was asked for from outside
    forEachSegmentedToken(bytes_ + block.from, block.to - block.from, word,
                          [&](std::string_view token, std::uint32_t start) {
                              if (start >= nextPoll) [[unlikely]] {
                                  // Only a stop from outside cuts a block short: one
                                  // left unfinished for another reason would pass for whole.
                                  asked = stopRequested_ != nullptr && stopRequested_->load(std::memory_order_relaxed);
                                  if (asked)
                                      return false;
                                  nextPoll = start + pollBytes;
                              }
                              const auto size = static_cast<std::uint32_t>(token.size());
                              if (token.data() != word.data()) {
                                  block.tokens.push_back({block.from + start, size, notGathered});
                                  return true;
                              }
                              // Gathered across U+0000 into scratch storage that the next token reuses.
                              block.tokens.push_back({block.from + start, size,
                                                      static_cast<std::uint32_t>(block.gathered.size())});
                              block.gathered += token;
                              return true;
                          });
    if (asked) {
        // Cut short: whoever claims the block learns why, and no one cuts further.
        block.failure = std::make_exception_ptr(Progress::Stopped());
        stop_ = true;
    }
    block.state.store(Ready);
    block.state.notify_all();
}

void ParallelSegments::help()
{
    Block *block = nullptr;
    try {
        while (!stop_ && untaken_.load() > 0) {
            const std::uint32_t seen = next_.load();
            block = takeAhead();
            if (block == nullptr) {
                next_.wait(seen);  // the window is full: wait for the caller
                continue;
            }
            fill(*block);
            block = nullptr;
        }
    } catch (...) {
        // Told to the caller when it claims the block; the helper cuts no more.
        stop_ = true;
        if (block != nullptr) {
            block->failure = std::current_exception();
            block->state.store(Ready);
            block->state.notify_all();
        }
    }
}

bool ParallelSegments::claim(std::size_t k)
{
    Block &block = blocks_[k];
    int expected = Free;
    if (block.state.compare_exchange_strong(expected, Taken)) {
        untaken_.fetch_sub(1);
        return false;
    }
    while (block.state.load() != Ready) {
        // Rather than wait, cut a later block for when its turn comes.
        if (Block *later = stop_ ? nullptr : takeAhead()) {
            fill(*later);
            continue;
        }
        block.state.wait(Taken);
    }
    if (block.failure)
        std::rethrow_exception(block.failure);
    return true;
}

void ParallelSegments::done(std::size_t k)
{
    blocks_[k].tokens = std::vector<Token>();
    blocks_[k].gathered = std::string();
    next_.store(static_cast<std::uint32_t>(k + 1));
    next_.notify_all();
}
