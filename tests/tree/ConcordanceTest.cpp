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

}  // namespace

namespace {

// The order of concordancers, spelled out: each row's words beside the
// phrase (up to `context`, to the document's edge) as (folded, bytes)
// pairs, compared in turn; a row whose words end first comes first; equal
// rows in text order.
std::vector<Corpus::Position> referenceOrder(const Corpus &corpus, const std::vector<Corpus::Position> &starts,
                                             std::uint32_t length, std::uint32_t context, ConcordanceSide side)
{
    using Key = std::vector<std::pair<std::string, std::string>>;
    const auto keyOf = [&](Corpus::Position p) {
        Key key;
        for (std::uint32_t k = 0; k < context; ++k) {
            const std::int64_t at = side == ConcordanceSide::Left ? std::int64_t{p} - 1 - k : std::int64_t{p} + length + k;
            if (at < 0 || at >= corpus.end() || corpus.tokenId(static_cast<Corpus::Position>(at)) == Corpus::noToken)
                break;
            const std::string_view text = corpus.tokenText(corpus.tokenId(static_cast<Corpus::Position>(at)));
            std::string folded;
            appendFolded(text, corpus.options().utf8(), folded);
            key.emplace_back(folded, text);
        }
        return key;
    };
    std::vector<std::pair<Key, Corpus::Position>> rows;
    for (const Corpus::Position p : starts)
        rows.emplace_back(keyOf(p), p);
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Corpus::Position> out;
    for (const auto &row : rows)
        out.push_back(row.second);
    return out;
}

TEST(ConcordanceOrder, SortsByEachWordInTurnWithinTheContextAndTheDocument)
{
    // Tokens: x(0) B(1) Q(2) c(3) f(4) |(5) a(6) Q(7) d(8) |(9) b(10) a(11) Q(12) c(13) e(14) |(15) Q(16).
    const std::vector<std::string_view> documents = {"x B Q c f", "a Q d", "b a Q c e", "Q"};
    const Corpus corpus(documents);
    const std::vector<Corpus::Position> starts = {2, 7, 12, 16};
    using Positions = std::vector<Corpus::Position>;
    // After: none, "c e" before "c f" (the second word decides), "d"; one
    // word of context leaves "c f" and "c e" equal, in text order.
    EXPECT_EQ(orderByWordsBeside(corpus, starts, 1, 8, ConcordanceSide::Right), (Positions{16, 12, 2, 7}));
    EXPECT_EQ(orderByWordsBeside(corpus, starts, 1, 1, ConcordanceSide::Right), (Positions{16, 2, 12, 7}));
    // Before: "a" that ends at its document's start, "a b", then "B x":
    // case-folded, "a" sorts before "B".
    EXPECT_EQ(orderByWordsBeside(corpus, starts, 1, 8, ConcordanceSide::Left), (Positions{16, 7, 12, 2}));
    EXPECT_EQ(orderByWordsBeside(corpus, starts, 1, 0, ConcordanceSide::Left), starts);

    // Against the order spelled out, on texts of few words (so that rows
    // agree over several words) in each mode, phrases of one and two words.
    const char *const words[] = {"a", "A", "b", "B", "ab", "Ab", ".", "\xC3\xA9", "\xC3\x89", "\n"};
    std::mt19937 random(7);
    for (const CorpusOptions options : {CorpusOptions{}, CorpusOptions{WordRules::Bytes, true},
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
                for (const std::uint32_t context : {1u, 3u, 8u}) {
                    EXPECT_EQ(orderByWordsBeside(random, found.starts, found.length, context, side),
                              referenceOrder(random, found.starts, found.length, context, side))
                        << phrase << " " << static_cast<int>(side) << " " << context;
                }
            }
        }
    }
}

}  // namespace
