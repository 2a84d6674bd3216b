#include "ConlluReader.h"

#include "LineCursor.h"

#include <array>

namespace {

constexpr std::size_t columnCount = 10;
enum Column { Id, Form, Lemma, Upos, Xpos, Feats, Head, Deprel, Deps, Misc };

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The kinds of ID a line may have.
enum class IdKind { Word, Range, Empty, Wrong };

struct LineId {
    IdKind kind = IdKind::Wrong;
    std::uint64_t last = 0;  // a word's number, or a range's last; saturated
};

// Reads the digits at `at` in `id`; false when there are none.
bool readNumber(std::string_view id, std::size_t &at, std::uint64_t &value)
{
    const std::size_t start = at;
    value = 0;
    for (; at < id.size() && isDigit(id[at]); ++at)
        value = value >= UINT64_MAX / 10 ? UINT64_MAX : value * 10 + static_cast<unsigned>(id[at] - '0');
    return at > start;
}

LineId parseId(std::string_view id)
{
    std::size_t at = 0;
    LineId out;
    if (!readNumber(id, at, out.last))
        return {};
    if (at == id.size()) {
        out.kind = IdKind::Word;
        return out;
    }
    const char mark = id[at++];
    if ((mark != '-' && mark != '.') || !readNumber(id, at, out.last) || at != id.size())
        return {};
    out.kind = mark == '-' ? IdKind::Range : IdKind::Empty;
    return out;
}

// Whether a MISC column holds the item SpaceAfter=No.
bool noSpaceAfter(std::string_view misc)
{
    constexpr std::string_view item = "SpaceAfter=No";
    for (std::size_t at = misc.find(item); at != std::string_view::npos; at = misc.find(item, at + 1)) {
        const std::size_t end = at + item.size();
        if ((at == 0 || misc[at - 1] == '|') && (end == misc.size() || misc[end] == '|'))
            return true;
    }
    return false;
}

// Whether a comment line is "# newdoc", alone or followed by a blank.
bool isNewDocument(std::string_view line)
{
    line.remove_prefix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    constexpr std::string_view word = "newdoc";
    return line.starts_with(word) && (line.size() == word.size() || line[word.size()] == ' '
                                      || line[word.size()] == '\t');
}

}  // namespace

std::vector<std::string> conlluLayers()
{
    return {"word", "lemma", "pos", "xpos", "feats", "deprel"};
}

std::optional<AnnotationError> readConllu(std::string_view bytes, AnnotationSink &sink, const Progress &progress,
                                          std::uint64_t before, std::uint64_t total)
{
    LineCursor lines(bytes, progress, before, total);
    return readConllu(lines, sink);
}

std::optional<AnnotationError> readConllu(LineCursor &lines, AnnotationSink &sink)
{
    bool anyPosition = false;     // a position came in the file
    bool documentStarts = false;  // the next position starts a document
    bool inSentence = false;      // a position came since the last sentence end
    bool glued = false;           // the next position follows without a space
    std::uint64_t rangeLast = 0;
    bool rangeGlues = false;      // the word numbered rangeLast glues the next
    const auto endSentence = [&] {
        if (inSentence)
            sink.endSentence();
        inSentence = glued = rangeGlues = false;
    };
    // The file is a document already: a start is told before the next
    // position, when one came before it.
    const auto startDocument = [&] {
        endSentence();
        documentStarts = anyPosition;
    };
    std::array<std::string_view, columnCount> columns;
    while (lines.next()) {
        const std::string_view line = lines.line();
        if (line.empty()) {
            endSentence();
            continue;
        }
        if (line.front() == '#') {
            if (isNewDocument(line))
                startDocument();
            continue;
        }
        const std::size_t count = splitColumns(line, columns.data(), columns.size());
        if (count != columnCount)
            return AnnotationError{lines.number(), "a word line needs 10 TAB-separated columns; this one has "
                                                       + std::to_string(count)};
        const LineId id = parseId(columns[Id]);
        switch (id.kind) {
        case IdKind::Wrong:
            return AnnotationError{lines.number(), "the ID " + quotedForReason(columns[Id])
                                                       + " is not a number, a range (1-2) or a decimal (1.1)"};
        case IdKind::Empty:
            continue;
        case IdKind::Range:
            rangeLast = id.last;
            rangeGlues = noSpaceAfter(columns[Misc]);
            continue;
        case IdKind::Word:
            break;
        }
        const std::array<std::string_view, 6> values{columns[Form], columns[Lemma], columns[Upos],
                                                     columns[Xpos], columns[Feats], columns[Deprel]};
        if (documentStarts)
            sink.startDocument();
        sink.token(values, !(inSentence && glued), lines.number());
        inSentence = anyPosition = true;
        documentStarts = false;
        glued = noSpaceAfter(columns[Misc]);
        if (rangeGlues && id.last >= rangeLast) {
            glued = glued || id.last == rangeLast;
            rangeGlues = false;
        }
    }
    if (std::optional<AnnotationError> error = lines.illFormed())
        return error;
    endSentence();
    lines.finish();
    return std::nullopt;
}

std::span<const std::string_view> ConlluReader::endings() const
{
    static constexpr std::string_view taken[] = {".conllu"};
    return taken;
}
