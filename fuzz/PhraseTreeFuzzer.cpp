// Fuzzes the tokenizer, the corpus and searchPhrase on arbitrary texts and
// phrases, forward or backward, folding case or not, cutting bytes, Unicode or segmented words,
// stopping at sentence ends or not, over one to three documents: the shaped
// tree must keep its invariants, its nodes' occurrences must agree with
// their counts, and on small inputs it must equal the plain reference
// builder's tree on the transformed token list, and every label as written
// must be its stretch of the text.
#include "Corpus.h"
#include "FuzzInput.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"
#include "TreeOccurrences.h"
#include "UnicodeTokens.h"
#include "WrittenText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The reference builder recurses as deep as the text is long.
constexpr std::size_t referenceTokenLimit = 400;

// A boundary between documents stands in the token lists as "\x01", which no token can be.
const std::string boundary = "\x01";

struct Mode {
    CorpusOptions options;
    bool backward = false;
    bool sentences = false;
    std::size_t documents = 1;

    explicit Mode(std::uint8_t bits)
        : options{(bits & 4) == 0 ? WordRules::Bytes : (bits & 0x80) != 0 ? WordRules::Segmented : WordRules::Unicode,
                  (bits & 2) != 0},
          backward((bits & 1) != 0), sentences((bits & 0x40) != 0), documents(1 + (bits >> 3) % 3)
    {
    }
    std::vector<std::string> tokensOf(std::string_view bytes) const
    {
        std::vector<std::string> tokens;
        Corpus::tokenize(bytes.data(), static_cast<std::uint32_t>(bytes.size()), tokens, options);
        return tokens;
    }
    // What searches and groups compare.
    std::string key(const std::string &token) const
    {
        if (!options.foldCase || token == boundary)
            return token;
        std::string folded;
        appendFolded(token, options.utf8(), folded);
        return folded;
    }
    std::vector<std::string> keysOf(const std::vector<std::string> &tokens) const
    {
        std::vector<std::string> keys;
        for (const std::string &token : tokens)
            keys.push_back(key(token));
        if (backward)
            std::reverse(keys.begin(), keys.end());
        return keys;
    }
};

std::string joined(const std::vector<std::string> &tokens, std::size_t first = 0)
{
    std::string text;
    for (std::size_t i = first; i < tokens.size(); ++i) {
        if (i > first)
            text += ' ';
        text += tokens[i];
    }
    return text;
}

// Whether `keys` (in the tree's reading order) holds `query` followed by `run`.
bool occursFollowedBy(const std::vector<std::string> &keys, const std::vector<std::string> &query,
                      const std::vector<std::string> &run)
{
    std::vector<std::string> whole = query;
    whole.insert(whole.end(), run.begin(), run.end());
    return !whole.empty() && std::search(keys.begin(), keys.end(), whole.begin(), whole.end()) != keys.end();
}

// The root is the search text byte for byte, and if its occurrences go on
// the same way, those complete tokens joined to it by a blank (after it
// forward, before it backward), as at least one occurrence has them.
void checkRootLabel(const std::string &label, std::string_view phrase, const Mode &mode,
                    const std::vector<std::string> &keys, const std::vector<std::string> &query)
{
    FUZZ_CHECK(label.size() >= phrase.size());
    const std::size_t restSize = label.size() - phrase.size();
    const std::string_view root(label);
    FUZZ_CHECK((mode.backward ? root.substr(restSize) : root.substr(0, phrase.size())) == phrase);
    if (restSize == 0)
        return;
    const std::string_view rest = mode.backward ? root.substr(0, restSize) : root.substr(phrase.size());
    const std::string_view run = mode.backward ? rest.substr(0, restSize - 1) : rest.substr(1);
    FUZZ_CHECK((mode.backward ? rest.back() : rest.front()) == ' ');
    const std::vector<std::string> absorbed = mode.tokensOf(run);
    FUZZ_CHECK(!absorbed.empty() && joined(absorbed) == run);
    FUZZ_CHECK(occursFollowedBy(keys, query, mode.keysOf(absorbed)));
}

// Weights in (0, 1]; siblings heaviest first and never heavier than their
// parent (a child never counts more than its parent, and a collapsed node
// takes the count of the last node of its run); labels non-empty; below the
// root every label is whole corpus tokens joined by single blanks, and
// siblings part at different tokens (their first, or backward their last).
void checkShape(const PhraseNode &root, const Corpus &corpus, const Mode &mode)
{
    // Labels of texts without stops run to the text's end, so their bytes can
    // add up to the square of its length: they are made and cut into tokens
    // while this budget lasts; past it only their weights and order are checked.
    std::size_t labelBudget = std::size_t(1) << 16;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty()) {
        const PhraseNode &node = *pending.back();
        pending.pop_back();
        const float weight = node.weight();
        FUZZ_CHECK(std::isfinite(weight) && weight > 0.0f && weight <= 1.0f);

        std::vector<std::string> firstTokens;
        const PhraseNode *previous = nullptr;
        for (const auto &child : node.children()) {
            FUZZ_CHECK(child != nullptr);
            FUZZ_CHECK(child->weight() <= weight);
            FUZZ_CHECK(!previous || child->weight() <= previous->weight());
            previous = child.get();
            pending.push_back(child.get());
            if (labelBudget == 0) {
                FUZZ_CHECK(!child->text().empty() || child->spanLength() > 0);
                continue;
            }
            const std::string label = child->label();
            labelBudget -= std::min(labelBudget, label.size());
            const std::vector<std::string> tokens = mode.tokensOf(label);
            FUZZ_CHECK(!tokens.empty() && joined(tokens) == label);
            for (const std::string &token : tokens)
                FUZZ_CHECK(corpus.findToken(token) != Corpus::noToken);
            const std::string parting = mode.key(mode.backward ? tokens.back() : tokens.front());
            for (const std::string &first : firstTokens)
                FUZZ_CHECK(first != parting);
            firstTokens.push_back(parting);
        }
    }
}

// Each node's occurrences, found from its path's tokens, are as many as it
// counts, ascending, and among the occurrences its tree takes (the first
// few thousand nodes, met depth first).
void checkNodeOccurrences(const PhraseNode &root, const Corpus &corpus, const Mode &mode, std::string_view phrase)
{
    std::vector<Corpus::TokenId> ids;
    FUZZ_CHECK(corpus.findTokens(phrase.data(), static_cast<std::uint32_t>(phrase.size()), ids));
    const TreeOccurrences occurrences(corpus, mode.backward ? TreeDirection::Backward : TreeDirection::Forward, ids);
    const std::vector<Corpus::Position> &all = occurrences.starts();
    std::size_t budget = 4000;
    std::vector<std::vector<const PhraseNode *>> pending{{&root}};
    while (!pending.empty() && budget-- > 0) {
        const std::vector<const PhraseNode *> path = std::move(pending.back());
        pending.pop_back();
        const std::vector<Corpus::Position> through = occurrences.through(path);
        FUZZ_CHECK(through.size() == path.back()->count());
        FUZZ_CHECK(std::is_sorted(through.begin(), through.end()));
        for (const Corpus::Position p : through)
            FUZZ_CHECK(std::binary_search(all.begin(), all.end(), p));
        for (const auto &child : path.back()->children()) {
            pending.push_back(path);
            pending.back().push_back(child.get());
        }
    }
}

// Every node's label as written (the first few thousand, met depth
// first) is its span's stretch of the documents' bytes with each run of
// separators made one blank, the root's the phrase as typed meeting it as
// the text does; one spelled from several occurrences reads so but for the
// case of its letters. Its bounded prefixes are the whole's.
void checkWrittenLabels(const PhraseNode &root, const WrittenText &text, std::string_view phrase, const Mode &mode)
{
    std::size_t budget = 2000;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty() && budget-- > 0) {
        const PhraseNode &node = *pending.back();
        pending.pop_back();
        for (const auto &child : node.children())
            pending.push_back(child.get());
        const std::uint32_t length = node.tokenCount();
        const std::string expected = text.label(node.spanStart(), length, &node == &root, phrase, mode.backward);
        const std::string written = node.writtenLabel();
        if (node.wholeLabel()) {
            std::string foldedWritten, foldedExpected;
            appendFolded(written, mode.options.utf8(), foldedWritten);
            appendFolded(expected, mode.options.utf8(), foldedExpected);
            FUZZ_CHECK(foldedWritten == foldedExpected);
        } else {
            FUZZ_CHECK(written == expected);
        }
        FUZZ_CHECK(node.writtenLabelPrefix(written.size() / 2) == written.substr(0, written.size() / 2));
        FUZZ_CHECK(node.writtenLabelSuffix(written.size() / 3) == written.substr(written.size() - written.size() / 3));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const Mode mode(reader.byte());
    const auto [phrase, text] = fuzzinput::splitPhraseAndText(reader);

    // The text cut into equal parts, one per document.
    std::vector<std::string_view> documents;
    std::vector<std::string> tokens;
    std::size_t realTokens = 0;
    for (std::size_t k = 0; k < mode.documents; ++k) {
        const std::size_t from = text.size() * k / mode.documents;
        const std::string_view document = text.substr(from, text.size() * (k + 1) / mode.documents - from);
        if (k > 0)
            tokens.push_back(boundary);
        documents.push_back(document);
        const std::vector<std::string> cut = mode.tokensOf(document);
        tokens.insert(tokens.end(), cut.begin(), cut.end());
        realTokens += cut.size();
    }
    const Corpus corpus = mode.documents == 1
                              ? Corpus(text.data(), static_cast<std::uint32_t>(text.size()), mode.options)
                              : Corpus(documents, mode.options);
    const std::vector<std::string> query = mode.tokensOf(phrase);
    FUZZ_CHECK(corpus.tokenCount() == realTokens);
    FUZZ_CHECK(corpus.boundaries().size() == mode.documents - 1);

    const PhraseSearchResult result =
        searchPhrase(corpus, phrase, mode.backward ? TreeDirection::Backward : TreeDirection::Forward, mode.sentences);
    const std::vector<std::string> keys = mode.keysOf(tokens);
    const std::vector<std::string> queryKeys = mode.keysOf(query);
    // A tree exactly when the phrase has tokens and they occur.
    using Status = PhraseSearchResult::Status;
    FUZZ_CHECK(result.status == (query.empty()                                ? Status::NoTokens
                                 : occursFollowedBy(keys, queryKeys, {}) ? Status::Found
                                                                              : Status::NotFound));
    FUZZ_CHECK((result.root != nullptr) == (result.status == Status::Found));

    if (tokens.size() <= referenceTokenLimit) {
        ReferenceRules rules;
        rules.key = [&mode](const std::string &token) { return mode.key(token); };
        rules.isBoundary = [](const std::string &token) { return token == boundary; };
        if (mode.options.utf8()) {
            rules.isStop = isUnicodeFullStop;
            rules.isSentenceEnd = isUnicodeSentenceEnd;
        }
        rules.backward = mode.backward;
        rules.sentences = mode.sentences;
        const std::unique_ptr<ReferenceNode> expected = buildReferenceTree(tokens, query, std::string(phrase), rules);
        FUZZ_CHECK((expected != nullptr) == (result.root != nullptr));
        if (expected && result.root) {
            FUZZ_CHECK(firstDifference(*expected, *result.root).empty());
            const WrittenText written(std::vector<std::string>(documents.begin(), documents.end()), mode.options);
            checkWrittenLabels(*result.root, written, phrase, mode);
        }
    }
    if (!result.root)
        return 0;
    checkRootLabel(result.root->label(), phrase, mode, keys, queryKeys);
    checkShape(*result.root, corpus, mode);
    checkNodeOccurrences(*result.root, corpus, mode, phrase);
    return 0;
}
