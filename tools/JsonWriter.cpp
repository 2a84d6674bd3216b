#include "JsonWriter.h"

#include "TreeWalk.h"

void writeJson(const PhraseNode &root, const TreeFormat &format, OutputBuffer &output)
{
    std::string label;
    std::vector<std::size_t> written{0};  // per open node: children written so far
    walkTree(
        root, format.pruning,
        [&](const PhraseNode &node, std::size_t depth) {
            std::string &out = output.buffer();
            if (depth > 0)
                out += written.back()++ == 0 ? "\n" : ",\n";
            label.clear();
            node.appendLabel(label);
            out += "{\"label\": ";
            appendJsonString(out, label, format.encoding);
            out += ", \"weight\": ";
            appendWeight(out, node.weight());
            if (format.counts) {
                out += ", \"count\": ";
                appendCount(out, node.count());
            }
            if (depth == 0 && !format.forms.empty()) {
                out += ", \"forms\": [";
                for (std::size_t k = 0; k < format.forms.size(); ++k) {
                    out += k == 0 ? "{\"text\": " : ", {\"text\": ";
                    appendJsonString(out, format.forms[k].text, format.encoding);
                    out += ", \"count\": ";
                    appendCount(out, format.forms[k].count);
                    out += '}';
                }
                out += ']';
            }
            out += ", \"children\": [";
            written.push_back(0);
            output.flushIfFull();
        },
        [&](const PhraseNode &, std::size_t) {
            output.buffer() += written.back() == 0 ? "]}" : "\n]}";
            written.pop_back();
            output.flushIfFull();
        },
        [&output] { return output.failed(); });
}
