#include "Concordance.h"

#include "SuffixTreeBuilder.h"

#include <algorithm>

namespace {

// Appends the tokens [from, to) joined by single blanks, or as written.
void appendTokens(std::string &out, const Corpus &corpus, Corpus::Position from, Corpus::Position to,
                  RowSpacing spacing)
{
    for (Corpus::Position p = from; p < to; ++p) {
        if (p > from && (spacing == RowSpacing::Blanks || corpus.separatedBefore(p)))
            out += ' ';
        out += corpus.token(p);
    }
}

}  // namespace

PhraseOccurrences findOccurrences(const Corpus &corpus, std::string_view text)
{
    PhraseOccurrences result;
    std::vector<Corpus::TokenId> query;
    const bool known = corpus.findTokens(text.data(), static_cast<std::uint32_t>(text.size()), query);
    if (query.empty())
        return result;
    if (known)
        result.starts = occurrenceStarts(corpus.forward(), query);
    result.length = static_cast<std::uint32_t>(query.size());
    result.status = result.starts.empty() ? PhraseSearchResult::Status::NotFound : PhraseSearchResult::Status::Found;
    return result;
}

std::vector<std::uint64_t> occurrenceLines(const Corpus &corpus, std::span<const Corpus::Position> starts)
{
    std::vector<std::uint64_t> lines;
    lines.reserve(starts.size());
    std::size_t hint = 0;
    for (const Corpus::Position p : starts)
        lines.push_back(corpus.lineOf(p, hint));
    return lines;
}

void makeConcordanceRow(const Corpus &corpus, Corpus::Position start, std::uint32_t length, std::uint32_t context,
                        ConcordanceRow &row, RowSpacing spacing)
{
    const std::uint32_t document = corpus.documentOf(start);
    const Corpus::Position first = corpus.documentStart(document);
    const Corpus::Position last = document < corpus.boundaries().size() ? corpus.boundaries()[document] : corpus.end();
    const Corpus::Position end = start + length;
    row.before.clear();
    row.phrase.clear();
    row.after.clear();
    appendTokens(row.before, corpus, start - std::min(context, start - first), start, spacing);
    appendTokens(row.phrase, corpus, start, end, spacing);
    appendTokens(row.after, corpus, end, end + std::min(context, last - end), spacing);
}
