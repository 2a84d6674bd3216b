// Fuzzes the readers of annotated files and the patterns asked of them.
// The first byte picks the reader (mode % 3: 0 CoNLL-U, 1 vertical) and, for
// vertical files, the columns (mode / 3); the rest is the file. Mode 2 is a
// pattern: the rest's first line, asked of the CoNLL-U file that follows it
// (read into a corpus whose shown layer and case rule mode / 3 picks); the
// pattern's matches are every position where it matches (checked one by
// one), and its trees both ways count what they stand for. Every position has a
// value per layer, each a view of the file's own bytes, well-formed UTF-8,
// without TAB or line feed; sentence ends and document starts come only
// after a position; an error comes at the first faulty line, so that
// reading the lines before it tells the sink the same (and then ends the
// sentence), and nothing after it. Read a block at a time (mode / 12 picks
// the block), a file tells the same as read whole.
#include "AnnotatedCorpusBuilder.h"
#include "ConlluReader.h"
#include "CqlPattern.h"
#include "FuzzInput.h"
#include "FuzzUtf8.h"
#include "PatternMatcher.h"
#include "PatternSearch.h"
#include "TreeWalk.h"
#include "VerticalReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Call {
    enum Kind { Document, Token, End } kind;
    std::vector<std::string> values;
    bool separated = true;
    std::uint64_t line = 0;

    bool operator==(const Call &) const = default;
};

// Records the calls and checks each as it comes.
class CheckingSink : public AnnotationSink {
public:
    // `file` empty: the values are views of a cursor's block, not of the file.
    CheckingSink(std::string_view file, std::size_t layers) : file_(file), layers_(layers) {}

    std::vector<Call> calls;

    void startDocument() override
    {
        FUZZ_CHECK(!calls.empty() && calls.back().kind == Call::End);
        calls.push_back({Call::Document, {}, true, 0});
    }
    void token(std::span<const std::string_view> values, bool separated, std::uint64_t line) override
    {
        FUZZ_CHECK(values.size() == layers_);
        FUZZ_CHECK(line >= 1 && line >= lastLine_);
        // A sentence's first position stands apart.
        FUZZ_CHECK(separated || (!calls.empty() && calls.back().kind == Call::Token));
        lastLine_ = line;
        Call call{Call::Token, {}, separated, line};
        for (const std::string_view value : values) {
            FUZZ_CHECK(file_.empty()
                       || (value.data() >= file_.data() && value.data() + value.size() <= file_.data() + file_.size()));
            FUZZ_CHECK(value.find_first_of("\t\n") == std::string_view::npos);
            FUZZ_CHECK(fuzzinput::wellFormed(value));
            call.values.emplace_back(value);
        }
        calls.push_back(std::move(call));
    }
    void endSentence() override
    {
        FUZZ_CHECK(!calls.empty() && calls.back().kind == Call::Token);
        calls.push_back({Call::End, {}, true, 0});
    }

private:
    std::string_view file_;
    std::size_t layers_;
    std::uint64_t lastLine_ = 0;
};

// The file's lines before line `line` (from 1), line feeds included.
std::string_view linesBefore(std::string_view file, std::uint64_t line)
{
    std::size_t end = 0;
    for (std::uint64_t n = 1; n < line; ++n)
        end = file.find('\n', end) + 1;
    return file.substr(0, end);
}

// The --columns value of the first line: accepted, it names each column once
// and a word among them; refused, it says why on one line.
void checkColumns(std::string_view file)
{
    std::string reason;
    const std::optional<std::vector<std::string>> columns =
        parseVerticalColumns(file.substr(0, std::min<std::size_t>(file.find('\n'), 64)), &reason);
    if (!columns) {
        FUZZ_CHECK(!reason.empty() && reason.find('\n') == std::string::npos);
        return;
    }
    std::size_t words = 0;
    for (std::size_t i = 0; i < columns->size(); ++i) {
        FUZZ_CHECK(!(*columns)[i].empty());
        words += (*columns)[i] == "word";
        for (std::size_t j = 0; j < i; ++j)
            FUZZ_CHECK((*columns)[i] != (*columns)[j]);
    }
    FUZZ_CHECK(words == 1);
    FUZZ_CHECK(verticalLayers(*columns).size() == columns->size() && verticalLayers(*columns).front() == "word");
}

void checkPattern(std::uint8_t mode, std::string_view input)
{
    const std::size_t feed = std::min(input.find('\n'), input.size());
    const std::string_view typed = input.substr(0, feed);
    const std::string_view file = input.substr(std::min(feed + 1, input.size()));
    const CqlPattern::Parsed parsed = CqlPattern::parse(typed);
    if (!parsed.pattern) {
        FUZZ_CHECK(!parsed.reason.empty() && parsed.reason.find('\n') == std::string::npos);
        return;
    }
    FUZZ_CHECK(parsed.pattern->length() >= 1);

    CorpusOptions options;
    const std::vector<std::string> layers = conlluLayers();
    options.show = layers[mode / 3 % layers.size()];
    options.foldCase = mode / 3 / layers.size() % 2 == 1;
    AnnotatedCorpusBuilder builder(options);
    builder.startFile(layers);
    ForwardingSink<AnnotatedCorpusBuilder> sink(builder);
    if (readConllu(file, sink))
        return;
    const std::unique_ptr<Corpus> corpus = builder.finish(false);
    const PatternMatcher::Compiled compiled = PatternMatcher::compile(*parsed.pattern, *corpus);
    if (!compiled.matcher) {
        FUZZ_CHECK(!compiled.reason.empty() && compiled.reason.find('\n') == std::string::npos);
        return;
    }
    const PatternMatcher &matcher = *compiled.matcher;
    const std::vector<Corpus::Position> starts = matcher.allStarts();
    std::size_t next = 0;
    for (Corpus::Position p = 0; p < corpus->end(); ++p) {
        const bool listed = next < starts.size() && starts[next] == p;
        FUZZ_CHECK(listed == matcher.matchesAt(p));
        next += listed;
    }
    FUZZ_CHECK(next == starts.size());
    for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
        const PatternOccurrences found = findPatternOccurrences(matcher, direction);
        FUZZ_CHECK(found.starts.size() <= starts.size());
        const PhraseSearchResult tree = searchPattern(*corpus, typed, found, direction, mode % 2 == 0);
        FUZZ_CHECK((tree.root != nullptr) == !found.starts.empty());
        if (!tree.root)
            continue;
        // No node stands for more occurrences than its parent.
        walkTree(*tree.root, TreePruning{}, [&](const PhraseNode &node, std::size_t) {
            std::uint64_t children = 0;
            for (const auto &child : node.children())
                children += child->count();
            FUZZ_CHECK(children <= node.count() && node.count() <= found.starts.size());
        }, [](const PhraseNode &, std::size_t) {});
        const std::vector<PatternForm> forms = patternForms(*corpus, found);
        std::uint64_t total = 0;
        for (std::size_t k = 0; k < forms.size(); ++k) {
            total += forms[k].count;
            FUZZ_CHECK(k == 0 || forms[k].count <= forms[k - 1].count);
        }
        FUZZ_CHECK(total == found.starts.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const std::uint8_t mode = reader.byte();
    const std::string_view file = reader.rest();
    if (mode % 3 == 2) {
        checkPattern(mode, file);
        return 0;
    }

    static const std::vector<std::vector<std::string>> columnChoices{
        defaultVerticalColumns(), {"word"}, {"lemma", "word"}, {"a", "b", "word", "c", "d"}};
    const std::vector<std::string> &columns = columnChoices[mode / 3 % columnChoices.size()];
    const bool vertical = mode % 3 == 1;
    const std::size_t layers = vertical ? verticalLayers(columns).size() : conlluLayers().size();

    std::uint64_t reported = 0;
    const Progress progress(
        [&](const Progress::Step &step) {
            FUZZ_CHECK(step.stage == Progress::Stage::Cutting && step.total == file.size());
            FUZZ_CHECK(step.done >= reported && step.done <= step.total);
            reported = step.done;
        },
        nullptr);
    const auto read = [&](std::string_view bytes, CheckingSink &sink) {
        return vertical ? readVertical(bytes, columns, sink, progress, 0, file.size())
                        : readConllu(bytes, sink, progress, 0, file.size());
    };

    CheckingSink sink(file, layers);
    const std::optional<AnnotationError> error = read(file, sink);
    if (!error) {
        FUZZ_CHECK(sink.calls.empty() || sink.calls.back().kind == Call::End);
        FUZZ_CHECK(reported == file.size());
    } else {
        FUZZ_CHECK(!error->reason.empty() && error->reason.find('\n') == std::string::npos);
        FUZZ_CHECK(error->line >= 1);
        std::uint64_t lines = 1;
        for (const char c : file)
            lines += c == '\n';
        FUZZ_CHECK(error->line <= lines);
        // The lines before the faulty one read alone tell the same, and end the sentence.
        reported = 0;
        CheckingSink before(file, layers);
        FUZZ_CHECK(!read(linesBefore(file, error->line), before));
        if (!sink.calls.empty() && sink.calls.back().kind == Call::Token)
            sink.calls.push_back({Call::End, {}, true, 0});
        FUZZ_CHECK(before.calls == sink.calls);
    }
    // Read a block at a time (mode / 12 picks the block's size), it tells the same.
    {
        class Pieces : public LineSource {
        public:
            Pieces(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
            std::size_t read(char *into, std::size_t room) override
            {
                const std::size_t n = std::min({room, piece_, bytes_.size() - at_});
                bytes_.copy(into, n, at_);
                at_ += n;
                return n;
            }

        private:
            std::string_view bytes_;
            std::size_t piece_, at_ = 0;
        };
        const std::size_t block = 1 + std::size_t{mode} / 12 * 3;
        Pieces pieces(file, block % 7 + 1);
        const Progress quiet;
        LineCursor lines(pieces, quiet, 0, file.size(), block);
        CheckingSink blockSink({}, layers);
        const std::optional<AnnotationError> blockError =
            vertical ? readVertical(lines, columns, blockSink) : readConllu(lines, blockSink);
        FUZZ_CHECK(blockError.has_value() == error.has_value());
        FUZZ_CHECK(!error || (blockError->line == error->line && blockError->reason == error->reason));
        if (error && !blockSink.calls.empty() && blockSink.calls.back().kind == Call::Token)
            blockSink.calls.push_back({Call::End, {}, true, 0});
        FUZZ_CHECK(blockSink.calls == sink.calls);
    }
    if (vertical)
        checkColumns(file);
    return 0;
}
