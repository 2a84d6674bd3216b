#include "LineCursor.h"

#include "Utf8.h"

#include <algorithm>

namespace {

// How far ahead of the reader UTF-8 is checked at once: small enough that
// the bytes are still in the cache when the reader comes to them.
constexpr std::size_t checkBlock = 64 * 1024;

}  // namespace

LineCursor::LineCursor(std::string_view bytes, const Progress &progress, std::uint64_t before, std::uint64_t total)
    : bytes_(bytes), progress_(progress), before_(before), total_(total ? total : before + bytes.size()),
      wholeLines_(bytes.size())
{
    skipByteOrderMark();
}

LineCursor::LineCursor(LineSource &source, const Progress &progress, std::uint64_t before, std::uint64_t total,
                       std::size_t blockBytes)
    : progress_(progress), before_(before), total_(total ? total : before), source_(&source), more_(true),
      blockBytes_(std::max<std::size_t>(blockBytes, 1))
{
    // Enough bytes for the mark to be seen, however small the block.
    do
        refill();
    while (bytes_.size() < 3 && more_);
    skipByteOrderMark();
}

void LineCursor::skipByteOrderMark()
{
    if (bytes_.starts_with("\xEF\xBB\xBF"))
        at_ = checkedTo_ = 3;
}

void LineCursor::refill()
{
    // bytes_ is a view of block_ (or empty before the first fill).
    const std::size_t kept = bytes_.size() - at_;
    if (kept > 0)
        std::memmove(block_.data(), bytes_.data() + at_, kept);
    if (block_.size() < blockBytes_ || kept > block_.size() / 2)
        block_.resize(std::max(blockBytes_, block_.size() * 2));
    // Offsets into the block move with it.
    passed_ += at_;
    checkedTo_ = checkedTo_ > at_ ? checkedTo_ - at_ : 0;
    nextPoll_ = nextPoll_ > at_ ? nextPoll_ - at_ : 0;
    if (illFormedAt_ != std::string::npos)
        illFormedAt_ -= at_;
    at_ = 0;
    std::size_t filled = kept;
    while (more_ && filled < block_.size()) {
        const std::size_t got = source_->read(block_.data() + filled, block_.size() - filled);
        more_ = got != 0;
        filled += got;
    }
    bytes_ = std::string_view(block_.data(), filled);
    if (more_) {
        const std::size_t lastFeed = bytes_.rfind('\n');
        wholeLines_ = lastFeed == std::string_view::npos ? 0 : lastFeed + 1;
    } else {
        wholeLines_ = filled;
    }
}

// Flattened: the decoder inlined here reads text in most scripts about twice as fast.
__attribute__((flatten)) bool LineCursor::check(std::size_t end)
{
    if (illFormedAt_ == std::string::npos) {
        const auto *in = reinterpret_cast<const unsigned char *>(bytes_.data());
        const std::size_t size = bytes_.size();
        // Not past the last whole line: a block may end inside a character.
        const std::size_t to = std::max(end, std::min(wholeLines_, checkedTo_ + checkBlock));
        std::size_t i = checkedTo_;
        while (i < to) {
            if (size - i >= 8) {
                std::uint64_t eight;
                std::memcpy(&eight, in + i, 8);
                if ((eight & 0x8080'8080'8080'8080u) == 0) {
                    i += 8;
                    continue;
                }
            }
            if (in[i] < 0x80) {
                ++i;
                continue;
            }
            const std::uint32_t length = decodeUtf8NonAscii(in + i, size - i).length;
            if (length == 0) {
                illFormedAt_ = i;
                break;
            }
            i += length;
        }
        checkedTo_ = i;
    }
    return illFormedAt_ >= end;
}

void LineCursor::poll()
{
    progress_.throwIfStopped();
    progress_.report(Progress::Stage::Cutting, before_ + passed_ + at_, total_);
    nextPoll_ = at_ + pollBytes;
}

std::optional<AnnotationError> LineCursor::illFormed() const
{
    if (!refused_)
        return std::nullopt;
    return AnnotationError{number_ + 1,
                           "ill-formed UTF-8 at byte " + std::to_string(illFormedAt_ - at_ + 1) + " of the line"};
}

void LineCursor::finish() const
{
    progress_.report(Progress::Stage::Cutting, before_ + passed_ + bytes_.size(), total_);
}

std::string quotedForReason(std::string_view value)
{
    constexpr std::size_t most = 40;
    std::size_t kept = value.size();
    if (kept > most) {
        kept = most;
        while (kept > 0 && isUtf8Continuation(static_cast<unsigned char>(value[kept])))
            --kept;
    }
    std::string out = "\"";
    for (const char c : value.substr(0, kept))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    out += kept < value.size() ? "...\"" : "\"";
    return out;
}
