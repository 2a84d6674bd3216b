// The concordance: occurrences, their lines, the rows of text around them over several documents, and their orders.
#include "Concordance.h"
#include "ConcordanceOrder.h"
#include "UnicodeTokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(Concordance, RowsKeepToTheirDocumentAndSpellTokensAsTheyStand)
{
    const std::vector<std::string_view> documents = {"A b\nc A", "a\n\nB a d e", "x"};
    const Corpus corpus(documents, {WordRules::Bytes, true});
    const PhraseOccurrences found = findOccurrences(corpus, "a");
    ASSERT_EQ(found.status, PhraseSearchResult::Status::Found);
    // Tokens: A(0) b(1) c(2) A(3) |(4) a(5) B(6) a(7) d(8) e(9) |(10) x(11).
    ASSERT_EQ(found.starts, (std::vector<Corpus::Position>{0, 3, 5, 7}));
    EXPECT_EQ(occurrenceLines(corpus, found.starts), (std::vector<std::uint64_t>{1, 2, 1, 3}));

    const std::vector<std::vector<std::string>> rows = {
        {"", "A", "b c"}, {"b c", "A", ""}, {"", "a", "B a"}, {"a B", "a", "d e"}};
    ConcordanceRow row;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        makeConcordanceRow(corpus, found.starts[i], found.length, 2, row);
        EXPECT_EQ((std::vector<std::string>{row.before, row.phrase, row.after}), rows[i]) << i;
    }
    makeConcordanceRow(corpus, 5, 3, UINT32_MAX, row);
    EXPECT_EQ((std::vector<std::string>{row.before, row.phrase, row.after}),
              (std::vector<std::string>{"", "a B a", "d e"}));
    makeConcordanceRow(corpus, 11, 1, 0, row);
    EXPECT_EQ((std::vector<std::string>{row.before, row.phrase, row.after}), (std::vector<std::string>{"", "x", ""}));
}

// The order of concordancers, spelled out: the words beside the phrase (up
// to `context`, to the document's edge) as (folded, bytes) pairs, compared
// in turn, a row whose words end first coming first; equal rows in text order.
std::vector<Corpus::Position> referenceOrder(const Corpus &corpus, std::vector<Corpus::Position> starts,
                                             std::uint32_t length, std::uint32_t context, ConcordanceSide side)
{
    const auto keyOf = [&](std::int64_t p) {
        std::vector<std::pair<std::string, std::string_view>> key;
        for (std::int64_t k = 0; k < context; ++k) {
            const std::int64_t at = side == ConcordanceSide::Left ? p - 1 - k : p + length + k;
            if (at < 0 || corpus.tokenId(static_cast<Corpus::Position>(at)) == Corpus::noToken)
                break;
            std::string folded;
            appendFolded(corpus.token(static_cast<Corpus::Position>(at)), corpus.options().utf8(), folded);
            key.emplace_back(folded, corpus.tokenText(corpus.tokenId(static_cast<Corpus::Position>(at))));
        }
        return key;
    };
    std::stable_sort(starts.begin(), starts.end(), [&](auto a, auto b) { return keyOf(a) < keyOf(b); });
    return starts;
}

TEST(ConcordanceOrder, SortsByEachWordInTurnWithinTheContextAndTheDocument)
{
    // Against the order spelled out, on texts of few words (so that rows
    // agree over several words: "a" and "A", "b" and "B" fold alike) in
    // each mode, phrases of one and two words, over three documents.
    const char *const words[] = {"a", "A", "b", "B", "ab", "Ab", ".", "\xC3\xA9", "\xC3\x89", "\n"};
    std::mt19937 random(7);
    for (const CorpusOptions &options : {CorpusOptions{}, CorpusOptions{WordRules::Bytes, true},
                                        CorpusOptions{WordRules::Unicode, false}, CorpusOptions{WordRules::Unicode, true}}) {
        std::vector<std::string> texts(3);
        for (std::string &text : texts) {
            for (int i = 0; i < 400; ++i)
                text += std::string(words[random() % std::size(words)]) + " ";
        }
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        const Corpus random(views, options);
        for (const char *phrase : {"a", "b a"}) {
            const PhraseOccurrences found = findOccurrences(random, phrase);
            ASSERT_GT(found.starts.size(), 5u) << phrase;
            for (const ConcordanceSide side : {ConcordanceSide::Left, ConcordanceSide::Right}) {
                for (const std::uint32_t context : {0u, 1u, 3u, 8u}) {
                    EXPECT_EQ(orderByWordsBeside(random, found.starts, found.length, context, side),
                              referenceOrder(random, found.starts, found.length, context, side))
                        << phrase << " " << static_cast<int>(side) << " " << context;
                }
            }
        }
    }
}

}  // namespace
