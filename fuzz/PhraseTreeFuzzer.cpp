// Fuzzes the tokenizer, the corpus and buildPhraseTree with shaping on arbitrary
// texts and phrases: the shaped tree must keep its invariants, and on small
// inputs it must equal the plain reference builder's tree.
#include "Corpus.h"
#include "FuzzInput.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"
#include "ReferencePhraseTree.h"

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

std::vector<std::string> tokensOf(std::string_view bytes)
{
    std::vector<std::string> tokens;
    Corpus::tokenize(bytes.data(), static_cast<std::uint32_t>(bytes.size()), tokens);
    return tokens;
}

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

// The position of the leftmost occurrence of `query` in `tokens`, or npos.
std::size_t firstOccurrence(const std::vector<std::string> &tokens, const std::vector<std::string> &query)
{
    if (query.empty() || query.size() > tokens.size())
        return std::string::npos;
    for (std::size_t p = 0; p + query.size() <= tokens.size(); ++p) {
        std::size_t k = 0;
        while (k < query.size() && tokens[p + k] == query[k])
            ++k;
        if (k == query.size())
            return p;
    }
    return std::string::npos;
}

// The root is the search text byte for byte, then, if every occurrence goes on
// the same way, a blank and those complete tokens, as the first occurrence has them.
void checkRootLabel(const std::string &label, std::string_view phrase, const std::vector<std::string> &tokens,
                    std::size_t after)
{
    FUZZ_CHECK(label.size() >= phrase.size() && std::string_view(label).substr(0, phrase.size()) == phrase);
    const std::string_view rest = std::string_view(label).substr(phrase.size());
    if (rest.empty())
        return;
    FUZZ_CHECK(rest[0] == ' ');
    const std::vector<std::string> absorbed = tokensOf(rest);
    FUZZ_CHECK(!absorbed.empty() && joined(absorbed) == rest.substr(1));
    FUZZ_CHECK(after + absorbed.size() <= tokens.size());
    for (std::size_t i = 0; i < absorbed.size(); ++i)
        FUZZ_CHECK(absorbed[i] == tokens[after + i]);
}

// Weights in (0, 1]; siblings heaviest first and never heavier than their
// parent (a child never counts more than its parent, and a collapsed node
// takes the count of the last node of its run); labels non-empty; below the
// root every label is whole corpus tokens joined by single blanks, and
// siblings start with different tokens.
void checkShape(const PhraseNode &root, const Corpus &corpus)
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
            const std::vector<std::string> tokens = tokensOf(label);
            FUZZ_CHECK(!tokens.empty() && joined(tokens) == label);
            for (const std::string &token : tokens)
                FUZZ_CHECK(corpus.findToken(token) != Corpus::noToken);
            for (const std::string &first : firstTokens)
                FUZZ_CHECK(first != tokens.front());
            firstTokens.push_back(tokens.front());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const auto [phrase, text] = fuzzinput::splitPhraseAndText(reader);

    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const std::vector<std::string> tokens = tokensOf(text);
    const std::vector<std::string> query = tokensOf(phrase);
    FUZZ_CHECK(corpus.tokenCount() == tokens.size());

    const std::unique_ptr<PhraseNode> root = buildPhraseTree(corpus, phrase);
    const std::size_t first = firstOccurrence(tokens, query);
    // A tree exactly when the phrase has tokens and they occur.
    FUZZ_CHECK((root != nullptr) == (first != std::string::npos));

    if (tokens.size() <= referenceTokenLimit) {
        const std::unique_ptr<ReferenceNode> expected = buildReferenceTree(tokens, std::string(phrase));
        FUZZ_CHECK((expected != nullptr) == (root != nullptr));
        if (expected && root)
            FUZZ_CHECK(firstDifference(*expected, *root).empty());
    }
    if (!root)
        return 0;
    checkRootLabel(root->label(), phrase, tokens, first + query.size());
    checkShape(*root, corpus);
    return 0;
}
