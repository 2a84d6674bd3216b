#include "OutlineWriter.h"

#include "TreeWalk.h"

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
        [](const PhraseNode &, std::size_t) {}, [&output] { return output.failed(); });
}
