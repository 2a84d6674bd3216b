// The concordance: occurrences, their lines, and the rows of text around them, over several documents.
#include "Concordance.h"

#include <gtest/gtest.h>

#include <string>
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
