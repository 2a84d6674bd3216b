// LineCursor: walks an annotated file's lines for its readers, checking UTF-8 ahead of them and telling progress.
#pragma once

#include "AnnotationError.h"
#include "LineSource.h"
#include "Progress.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// The readers ask for one line after another; the cursor finds its end,
// makes sure every byte up to there is well-formed UTF-8 (checked a block
// at a time ahead of the reader, so that the bytes are still in the cache
// when the reader parses them), and every pollBytes reads the stop flag and
// reports Progress::Stage::Cutting. Over a whole file in memory nothing is
// copied: a line is a view into its bytes. Over a LineSource the cursor
// holds a block of a few megabytes, refilled as the lines pass, and a line
// is a view into the block until the next call of next().
class LineCursor {
public:
    // How often the stop is read and the bytes passed are reported.
    static constexpr std::size_t pollBytes = std::size_t{2} << 20;

    // Over `bytes`, a whole file, which must outlive the cursor. Progress
    // tells `before` plus the bytes passed, of `total` (0: before plus the
    // size of `bytes`), so that a caller reading many files counts them all.
    LineCursor(std::string_view bytes, const Progress &progress, std::uint64_t before, std::uint64_t total);
    // The block a source is read into, grown only for a line longer than half of it.
    static constexpr std::size_t defaultBlockBytes = std::size_t{4} << 20;

    // Over the bytes `source` gives, which must outlive the cursor; progress
    // as above, `total` the bytes the caller expects in all (0: before).
    LineCursor(LineSource &source, const Progress &progress, std::uint64_t before, std::uint64_t total,
               std::size_t blockBytes = defaultBlockBytes);

    // Moves to the next line. True when there is one: line() is it, without
    // its line feed and without a carriage return before that, and number()
    // its number, from 1; a byte order mark opening the file is not part of
    // it. False at the end of the bytes (a final line feed opens no line),
    // and when the next line is not well-formed UTF-8: illFormed() then says
    // where, and the cursor stays there. Throws Progress::Stopped when asked
    // to stop.
    bool next()
    {
        const void *feed = nullptr;
        for (;;) {
            if (at_ < bytes_.size()) {
                feed = std::memchr(bytes_.data() + at_, '\n', bytes_.size() - at_);
                if (feed || !more_)
                    break;
            } else if (!more_) {
                return false;
            }
            refill();
        }
        if (at_ >= nextPoll_)
            poll();
        const char *start = bytes_.data() + at_;
        const std::size_t end = feed ? static_cast<std::size_t>(static_cast<const char *>(feed) - bytes_.data())
                                     : bytes_.size();
        if (end > checkedTo_ && !check(end)) {
            refused_ = true;
            return false;
        }
        std::size_t length = end - at_;
        if (length > 0 && start[length - 1] == '\r')
            --length;
        line_ = std::string_view(start, length);
        ++number_;
        at_ = end + 1;
        return true;
    }

    std::string_view line() const { return line_; }
    std::uint64_t number() const { return number_; }

    // The error for the line that next() refused as ill-formed UTF-8;
    // nothing while no line was refused.
    std::optional<AnnotationError> illFormed() const;

    // Reports every byte as passed: the reader calls it once it read the
    // whole file.
    void finish() const;

private:
    // Checks UTF-8 from checkedTo_ up to `end` at least (a block ahead when
    // it can); false, with the line refused, when a byte before `end` is
    // ill-formed.
    bool check(std::size_t end);
    void poll();
    // Moves the line not yet read to the block's start and reads more after
    // it (a larger block when the line fills half of it).
    void refill();
    // Skips a byte order mark opening the file.
    void skipByteOrderMark();

    std::string_view bytes_;
    const Progress &progress_;
    std::uint64_t before_;
    std::uint64_t total_;
    std::size_t at_ = 0;          // the start of the next line
    std::size_t checkedTo_ = 0;   // every byte before it is well-formed
    std::size_t illFormedAt_ = std::string::npos;  // the first ill-formed byte, once found
    std::size_t nextPoll_ = 0;
    bool refused_ = false;
    std::string_view line_;
    std::uint64_t number_ = 0;
    LineSource *source_ = nullptr;
    std::string block_;          // the bytes a source gave, bytes_ a view of them
    bool more_ = false;          // the source may give more
    std::uint64_t passed_ = 0;   // bytes of the file before bytes_
    std::size_t blockBytes_ = 0;
    std::size_t wholeLines_ = 0; // bytes_ up to here are whole lines (or the file's end): UTF-8 is checked no further
};

// `value` as it goes into a one-line reason: at most 40 bytes of it (cut at
// a character's start, "..." after it), control bytes shown as '?', quoted.
std::string quotedForReason(std::string_view value);

// Cuts `line` at its TABs: the first `room` columns go to `columns`, and
// the number of columns it has (at least 1) is returned, also when that is
// more than `room`. Columns are short, so a call of memchr for each costs
// more than the search itself: eight bytes are looked at together.
inline std::size_t splitColumns(std::string_view line, std::string_view *columns, std::size_t room)
{
    const char *const bytes = line.data();
    const std::size_t size = line.size();
    std::size_t count = 0;
    std::size_t start = 0;
    const auto tabAt = [&](std::size_t at) {
        if (count < room)
            columns[count] = std::string_view(bytes + start, at - start);
        ++count;
        start = at + 1;
    };
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t low7 = 0x7F7F'7F7F'7F7F'7F7Fu;
        for (; size - i >= 8; i += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, bytes + i, 8);
            // The high bit of each byte that is a TAB, and of no other: the
            // sum carries into a byte's high bit unless its low seven bits
            // are all zero, and never into the next byte.
            const std::uint64_t x = eight ^ 0x0909'0909'0909'0909u;
            for (std::uint64_t tabs = ~(((x & low7) + low7) | x | low7); tabs != 0; tabs &= tabs - 1)
                tabAt(i + static_cast<std::size_t>(std::countr_zero(tabs)) / 8);
        }
    }
    for (; i < size; ++i) {
        if (bytes[i] == '\t')
            tabAt(i);
    }
    if (count < room)
        columns[count] = std::string_view(bytes + start, size - start);
    return count + 1;
}
