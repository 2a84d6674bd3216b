#include "KwicWriter.h"

#include "Concordance.h"

#include <charconv>

void writeKwic(const Corpus &corpus, std::span<const std::string> paths, std::span<const Corpus::Position> starts,
               std::uint32_t length, std::uint32_t context, OutputBuffer &output)
{
    const std::vector<std::uint64_t> lines = occurrenceLines(corpus, starts);
    ConcordanceRow row;
    for (std::size_t i = 0; i < starts.size() && !output.failed(); ++i) {
        makeConcordanceRow(corpus, starts[i], length, context, row);
        std::string &out = output.buffer();
        out += paths[corpus.documentOf(starts[i])];
        out += ':';
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, lines[i]).ptr);
        out += '\t';
        out += row.before;
        out += '\t';
        out += row.phrase;
        out += '\t';
        out += row.after;
        out += '\n';
        output.flushIfFull();
    }
}
