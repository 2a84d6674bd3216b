#include "JsonWriter.h"

#include "TreeWalk.h"

void appendJsonString(std::string &out, std::string_view bytes, LabelEncoding encoding)
{
    const bool utf8 = encoding == LabelEncoding::Utf8;
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = in[i];
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80 && byte < 0xA0)) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (!utf8) {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            bool wellFormed = false;
            const std::size_t length = utf8Sequence(bytes.substr(i), wellFormed);
            if (wellFormed)
                out.append(bytes.data() + i, length);
            else
                out += "\xEF\xBF\xBD";  // U+FFFD for each maximal ill-formed part
            i += length - 1;
        }
    }
    out += '"';
}

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
