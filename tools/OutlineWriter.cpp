#include "OutlineWriter.h"

#include "TreeWalk.h"

#include <charconv>

void appendWeight(std::string &out, float weight)
{
    // As printf's "%.9g" writes it, without its parsing of a format.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(weight), std::chars_format::general, 9).ptr;
    out.append(text, end);
}

void appendCount(std::string &out, std::uint32_t count)
{
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, count).ptr;
    out.append(text, end);
}

void writeOutline(const PhraseNode &root, const TreeFormat &format, OutputBuffer &output)
{
    walkTree(
        root, format.pruning,
        [&](const PhraseNode &node, std::size_t depth) {
            std::string &out = output.buffer();
            out.append(2 * depth, ' ');
            if (format.counts) {
                appendCount(out, node.count());
                out += '\t';
            }
            appendWeight(out, node.weight());
            out += '\t';
            node.appendLabel(out);
            out += '\n';
            output.flushIfFull();
        },
        [](const PhraseNode &, std::size_t) {});
}
