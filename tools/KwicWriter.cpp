#include "KwicWriter.h"

#include "Concordance.h"

#include <algorithm>
#include <charconv>

namespace {

void appendTokens(std::string &out, const Corpus &corpus, Corpus::Position from, Corpus::Position to)
{
    for (Corpus::Position p = from; p < to; ++p) {
        if (p > from)
            out += ' ';
        out += corpus.token(p);
    }
}

}  // namespace

void writeKwic(const Corpus &corpus, std::span<const std::string_view> documents, std::span<const std::string> paths,
               std::span<const Corpus::Position> starts, std::uint32_t length, std::uint32_t context,
               OutputBuffer &output)
{
    const std::vector<std::uint64_t> lines = occurrenceLines(corpus, documents, starts);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const Corpus::Position p = starts[i];
        const std::uint32_t document = corpus.documentOf(p);
        const Corpus::Position first = corpus.documentStart(document);
        const Corpus::Position last =
            document < corpus.boundaries().size() ? corpus.boundaries()[document] : corpus.end();
        std::string &out = output.buffer();
        out += paths[document];
        out += ':';
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, lines[i]).ptr);
        out += '\t';
        appendTokens(out, corpus, p - std::min(context, p - first), p);
        out += '\t';
        appendTokens(out, corpus, p, p + length);
        out += '\t';
        appendTokens(out, corpus, p + length, p + length + std::min<Corpus::Position>(context, last - p - length));
        out += '\n';
        output.flushIfFull();
    }
}
