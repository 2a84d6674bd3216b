#include "DocumentWindow.h"

#include "Utf8.h"

#include "Tokenizer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Position = Corpus::Position;

// Where the line after the one that holds offset `at` starts, or the size.
std::size_t nextLine(std::string_view bytes, std::size_t at)
{
    const void *feed = at < bytes.size() ? std::memchr(bytes.data() + at, '\n', bytes.size() - at) : nullptr;
    return feed == nullptr ? bytes.size() : static_cast<std::size_t>(static_cast<const char *>(feed) - bytes.data()) + 1;
}

// Where line `line` (from 1) starts, given that line `from` starts at `at`;
// the size when the text has fewer lines.
std::size_t lineStart(std::string_view bytes, std::uint64_t line, std::uint64_t from, std::size_t at)
{
    for (; from < line && at < bytes.size(); ++from)
        at = nextLine(bytes, at);
    return std::min(at, bytes.size());
}

// Moves `at` back to the start of a UTF-8 character.
std::size_t characterStart(std::string_view bytes, std::size_t at)
{
    while (at > 0 && at < bytes.size() && isUtf8Continuation(static_cast<unsigned char>(bytes[at])))
        --at;
    return at;
}

// Where the token of `size` bytes that starts at `at` ends: a word
// gathered across zero bytes holds fewer bytes than it spans.
std::size_t tokenEnd(std::string_view bytes, std::size_t at, std::size_t size)
{
    std::size_t end = at;
    for (std::size_t taken = 0; end < bytes.size() && taken < size; ++end)
        taken += bytes[end] != '\0';
    return end;
}

std::uint64_t lineFeeds(std::string_view bytes, std::size_t from, std::size_t to)
{
    return static_cast<std::uint64_t>(std::count(bytes.data() + from, bytes.data() + to, '\n'));
}

}  // namespace

DocumentWindow documentWindow(const Corpus &corpus, std::string_view bytes, Corpus::Position start,
                              std::uint32_t length, std::uint64_t line, std::uint64_t linesAround,
                              std::size_t bytesAround)
{
    DocumentWindow window;
    const std::uint64_t first = line > linesAround ? line - linesAround : 1;
    const std::size_t firstFrom = lineStart(bytes, first, 1, 0);
    const std::size_t lineFrom = lineStart(bytes, line, first, firstFrom);
    const std::size_t lineTo = nextLine(bytes, lineFrom);
    window.from = firstFrom;
    window.to = lineStart(bytes, line + linesAround + 1, line, lineFrom);

    // The first position on the occurrence's line, by halving (lines only
    // grow along a document); the tokens from there to the occurrence are
    // cut again to find its bytes.
    Position low = corpus.documentStart(corpus.documentOf(start)), high = start;
    while (low < high) {
        const Position mid = low + (high - low) / 2;
        if (corpus.lineOf(mid) < line)
            low = mid + 1;
        else
            high = mid;
    }
    std::uint32_t skip = start - low;
    const std::uint32_t tokens = std::max<std::uint32_t>(length, 1);
    std::uint32_t left = tokens;
    window.occurrenceFrom = window.occurrenceTo = lineFrom;
    std::string word;
    forEachTokenOf(corpus.options(), bytes.data() + lineFrom, static_cast<std::uint32_t>(bytes.size() - lineFrom), word,
                   [&](std::string_view token, std::uint32_t offset) {
                       if (skip > 0) {
                           --skip;
                           return true;
                       }
                       const std::size_t at = lineFrom + offset;
                       if (left == tokens)
                           window.occurrenceFrom = at;
                       window.occurrenceTo = tokenEnd(bytes, at, token.size());
                       return --left > 0;
                   });

    if (lineFrom - window.from > bytesAround)
        window.from = std::min(nextLine(bytes, lineFrom - bytesAround), lineFrom);
    if (window.to - lineTo > bytesAround) {
        const auto *back = static_cast<const char *>(memrchr(bytes.data() + lineTo, '\n', bytesAround));
        window.to = back == nullptr ? lineTo : static_cast<std::size_t>(back - bytes.data()) + 1;
    }
    if (lineTo - lineFrom > 2 * bytesAround) {
        // One line longer than the whole window: the part around the occurrence.
        const std::size_t before = window.occurrenceFrom > bytesAround ? window.occurrenceFrom - bytesAround : 0;
        window.from = characterStart(bytes, std::max(lineFrom, before));
        window.to = characterStart(bytes, std::min(lineTo, window.occurrenceTo + bytesAround));
    }
    window.occurrenceFrom = std::clamp(window.occurrenceFrom, window.from, window.to);
    window.occurrenceTo = std::clamp(window.occurrenceTo, window.occurrenceFrom, window.to);
    window.firstLine = first + lineFeeds(bytes, firstFrom, window.from);
    const std::uint64_t feeds = lineFeeds(bytes, window.from, window.to);
    window.lastLine = window.firstLine + feeds - (feeds > 0 && bytes[window.to - 1] == '\n' ? 1 : 0);
    return window;
}
