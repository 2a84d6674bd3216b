// Fuzzes the concordance over one to three documents in every way of cutting
// and comparing (the segmented word rules with bits 1 and 7 of the mode
// byte), on text as it comes, with a zero byte after or before every
// byte (as UTF-16 text of ASCII is), or with zero bytes strewn in: each
// token's first byte, each token's line, the occurrences and their rows must
// equal what a plain reference written here finds.
#include "Concordance.h"
#include "Corpus.h"
#include "FuzzInput.h"
#include "SegmentedReference.h"
#include "Tokenizer.h"
#include "UnicodeTokens.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Token {
    std::string text;    // as the corpus spells it: without zero bytes
    std::uint32_t start; // offset of its first byte
};

// Cuts `bytes` character by character: a run of word characters, zero bytes
// passed over inside it, is a word; each mark is a token of its own;
// everything else separates. The segmented rules' reference is ICU's
// iterator over each whole run (see SegmentedReference.h).
std::vector<Token> referenceTokens(std::string_view bytes, const CorpusOptions &options)
{
    if (options.words == WordRules::Segmented) {
        std::vector<Token> tokens;
        for (ReferenceToken &token : segmentedReference(bytes))
            tokens.push_back({std::move(token.text), token.start});
        return tokens;
    }
    const bool utf8 = options.utf8();
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const auto step = [&](std::uint32_t i) {
        if (!utf8)
            return unicode_detail::Step{1, byteClasses[in[i]]};
        return unicode_detail::stepAt(in, i, length);
    };
    std::vector<Token> tokens;
    bool inWord = false;
    for (std::uint32_t i = 0; i < length;) {
        const unicode_detail::Step s = step(i);
        if (s.kind == ByteClass::Word) {
            if (!inWord)
                tokens.push_back({"", i});
            tokens.back().text.append(bytes.substr(i, s.length));
            inWord = true;
        } else if (s.kind != ByteClass::Zero || !inWord) {
            inWord = false;
            if (s.kind == ByteClass::Mark)
                tokens.push_back({std::string(bytes.substr(i, s.length)), i});
        }
        i += s.length;
    }
    return tokens;
}

std::string keyOf(const std::string &token, const CorpusOptions &options)
{
    if (!options.foldCase)
        return token;
    std::string folded;
    appendFolded(token, options.utf8(), folded);
    return folded;
}

std::string joined(const std::vector<Token> &tokens, std::size_t from, std::size_t to)
{
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from)
            text += ' ';
        text += tokens[i].text;
    }
    return text;
}

// How the input is made into documents: the mode byte's bits.
struct Mode {
    CorpusOptions options;
    int zeros;  // 0 none, 1 after every byte, 2 before every byte, 3 strewn at the bytes 0x7F
    std::size_t documents;

    explicit Mode(std::uint8_t bits)
        : options{(bits & 2) == 0 ? WordRules::Bytes : (bits & 0x80) != 0 ? WordRules::Segmented : WordRules::Unicode,
                  (bits & 1) != 0},
          zeros((bits >> 2) & 3),
          documents(1 + (bits >> 4) % 3)
    {
    }
    std::string shaped(std::string_view text) const
    {
        std::string out;
        for (const char c : text) {
            if (zeros == 2)
                out += '\0';
            out += zeros == 3 && c == '\x7F' ? '\0' : c;
            if (zeros == 1)
                out += '\0';
        }
        return out;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const Mode mode(reader.byte());
    const std::uint8_t contextByte = reader.byte();
    const std::uint32_t context = contextByte == 0xFF ? UINT32_MAX : contextByte % 6;
    const auto [phrase, text] = fuzzinput::splitPhraseAndText(reader);
    const CorpusOptions &options = mode.options;

    // The text cut into equal parts, one per document, each shaped.
    std::vector<std::string> documents;
    for (std::size_t k = 0; k < mode.documents; ++k) {
        const std::size_t from = text.size() * k / mode.documents;
        documents.push_back(mode.shaped(text.substr(from, text.size() * (k + 1) / mode.documents - from)));
    }
    const std::vector<std::string_view> views(documents.begin(), documents.end());
    const Corpus corpus(views, options);

    // Every token where the reference finds it, starting where it starts,
    // on the line its first byte is on.
    std::vector<std::vector<Token>> expected;
    std::vector<Corpus::Position> firstOf;  // each document's first position
    Corpus::Position p = 0;
    std::size_t hint = 0;
    std::string word;
    for (const std::string &document : documents) {
        expected.push_back(referenceTokens(document, options));
        const std::vector<Token> &tokens = expected.back();
        std::size_t k = 0;
        forEachTokenOf(options, document.data(), static_cast<std::uint32_t>(document.size()), word,
                       [&](std::string_view token, std::uint32_t start) {
                           FUZZ_CHECK(k < tokens.size() && token == tokens[k].text && start == tokens[k].start);
                           ++k;
                       });
        FUZZ_CHECK(k == tokens.size());
        firstOf.push_back(p);
        std::uint64_t line = 1;
        std::uint32_t counted = 0;
        for (const Token &token : tokens) {
            for (; counted < token.start; ++counted)
                line += document[counted] == '\n';
            FUZZ_CHECK(p < corpus.end() && corpus.token(p) == token.text);
            FUZZ_CHECK(corpus.lineOf(p) == line);
            FUZZ_CHECK(corpus.lineOf(p, hint) == line);
            ++p;
        }
        ++p;  // the boundary
    }
    FUZZ_CHECK(p == corpus.end() + 1);

    // The occurrences: taken from left to right without overlap, compared
    // folded when the corpus folds case, never across a document's end.
    std::vector<std::string> query;
    for (const Token &token : referenceTokens(phrase, options))
        query.push_back(keyOf(token.text, options));
    const PhraseOccurrences found = findOccurrences(corpus, phrase);
    std::vector<Corpus::Position> starts;
    std::vector<std::uint64_t> lines;
    std::vector<ConcordanceRow> rows;
    for (std::size_t d = 0; d < expected.size() && !query.empty(); ++d) {
        const std::vector<Token> &tokens = expected[d];
        for (std::size_t i = 0; i + query.size() <= tokens.size();) {
            std::size_t k = 0;
            while (k < query.size() && keyOf(tokens[i + k].text, options) == query[k])
                ++k;
            if (k < query.size()) {
                ++i;
                continue;
            }
            starts.push_back(firstOf[d] + static_cast<Corpus::Position>(i));
            lines.push_back(1 + static_cast<std::uint64_t>(
                                    std::count(documents[d].begin(), documents[d].begin() + tokens[i].start, '\n')));
            const std::size_t before = i - std::min<std::size_t>(context, i);
            const std::size_t end = i + query.size();
            const std::size_t after = end + std::min<std::size_t>(context, tokens.size() - end);
            rows.push_back({joined(tokens, before, i), joined(tokens, i, end), joined(tokens, end, after)});
            i = end;
        }
    }
    using Status = PhraseSearchResult::Status;
    FUZZ_CHECK(found.status == (query.empty() ? Status::NoTokens : starts.empty() ? Status::NotFound : Status::Found));
    FUZZ_CHECK(found.starts == starts);
    FUZZ_CHECK(occurrenceLines(corpus, found.starts) == lines);
    ConcordanceRow row;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        makeConcordanceRow(corpus, starts[i], found.length, context, row);
        FUZZ_CHECK(row.before == rows[i].before && row.phrase == rows[i].phrase && row.after == rows[i].after);
    }
    return 0;
}
