// Fuzzes the tokenizer and the corpus: the corpus must hold exactly the tokens
// that tokenize() gives, each a valid word or mark, interned consistently;
// the segmented rules must give the plain reference's tokens, also when
// cutting restarts after a line feed.
#include "Corpus.h"
#include "SegmentedReference.h"
#include "Tokenizer.h"
#include "UnicodeTokens.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool isWordByte(unsigned char b)
{
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto length = static_cast<std::uint32_t>(size);
    const auto *bytes = reinterpret_cast<const char *>(data);
    const Corpus corpus(bytes, length);
    std::vector<std::string> tokens;
    Corpus::tokenize(bytes, length, tokens);

    check(corpus.tokenCount() == tokens.size());
    std::size_t wordBytes = 0;
    for (Corpus::Position p = corpus.first(); p != corpus.end(); p = Corpus::advance(p)) {
        const std::string_view token = corpus.token(p);
        check(token == tokens[p]);
        check(!token.empty());
        const bool word = isWordByte(static_cast<unsigned char>(token[0]));
        for (unsigned char b : token)
            check(word ? isWordByte(b) : (token.size() == 1 && b >= 0x21 && b <= 0x7E));
        wordBytes += token.size();
        check(corpus.findToken(token) == corpus.tokenId(p));
        check(corpus.tokenText(corpus.tokenId(p)) == token);
    }
    // Every word and mark byte of the input reaches exactly one token.
    std::size_t expected = 0;
    for (std::size_t i = 0; i < size; ++i)
        expected += data[i] >= 0x21 && data[i] <= 0x7E;
    check(wordBytes == expected);

    // The other ways to cut and compare the same bytes: each position holds
    // the token the rules give, spelled as in the text, under the id of its
    // folded form when folding.
    for (const CorpusOptions &options :
         {CorpusOptions{WordRules::Unicode, false}, CorpusOptions{WordRules::Bytes, true},
          CorpusOptions{WordRules::Unicode, true}, CorpusOptions{WordRules::Segmented, false},
          CorpusOptions{WordRules::Segmented, true}}) {
        const Corpus other(bytes, length, options);
        std::vector<std::string> cut;
        Corpus::tokenize(bytes, length, cut, options);
        check(other.tokenCount() == cut.size());
        for (Corpus::Position p = other.first(); p != other.end(); p = Corpus::advance(p)) {
            check(other.token(p) == cut[p]);
            check(other.findToken(cut[p]) == other.tokenId(p));
            std::string folded;
            if (options.foldCase)
                appendFolded(cut[p], options.utf8(), folded);
            check(other.tokenText(other.tokenId(p)) == (options.foldCase ? folded : cut[p]));
        }
        std::vector<Corpus::TokenId> found;
        check(other.findTokens(bytes, length, found) && std::ranges::equal(found, other.tokenIds()));
    }

    const CorpusOptions segmented{WordRules::Segmented, false};
    const auto cut = [&](std::uint32_t from) {
        std::vector<ReferenceToken> out;
        std::string word;
        forEachTokenOf(segmented, bytes + from, length - from, word, [&](std::string_view token, std::uint32_t start) {
            out.push_back({std::string(token), start + from});
        });
        return out;
    };
    const std::vector<ReferenceToken> whole = cut(0);
    check(whole == segmentedReference(std::string_view(bytes, length)));
    int restarts = 0;
    for (std::uint32_t i = 0; i < length && restarts < 8; ++i) {
        if (bytes[i] != '\n')
            continue;
        ++restarts;
        const auto after = std::find_if(whole.begin(), whole.end(), [i](const ReferenceToken &t) { return t.start > i; });
        const std::vector<ReferenceToken> again = cut(i + 1);
        check(std::equal(again.begin(), again.end(), after, whole.end()));
    }
    return 0;
}
