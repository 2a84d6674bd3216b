#include "LabelText.h"

#include "Utf8.h"

std::size_t utf8Sequence(std::string_view bytes, bool &wellFormed)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const Utf8Char c = decodeUtf8NonAscii(in, bytes.size());
    wellFormed = c.length > 0;
    return wellFormed ? c.length : utf8MaximalSubpart(in, bytes.size());
}

void appendLabelUtf8(std::string &out, std::string_view bytes, LabelEncoding encoding)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else if (encoding == LabelEncoding::Latin1) {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
            ++i;
        } else {
            bool wellFormed = false;
            const std::size_t length = utf8Sequence(bytes.substr(i), wellFormed);
            if (wellFormed) {
                out.append(bytes.substr(i, length));
                i += length;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
        }
    }
}

std::string_view wholeCharacters(std::string_view bytes, bool atStart, LabelEncoding encoding)
{
    if (encoding == LabelEncoding::Latin1 || bytes.empty())
        return bytes;
    if (atStart) {
        // At most three continuation bytes can belong to a character begun before the part.
        std::size_t skip = 0;
        while (skip < 3 && skip < bytes.size() && isUtf8Continuation(static_cast<unsigned char>(bytes[skip])))
            ++skip;
        return bytes.substr(skip);
    }
    // The last character's lead byte, at most three bytes from the end.
    std::size_t lead = bytes.size() - 1;
    while (lead > 0 && bytes.size() - lead < 4 && isUtf8Continuation(static_cast<unsigned char>(bytes[lead])))
        --lead;
    const auto first = static_cast<unsigned char>(bytes[lead]);
    const std::size_t wanted = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return bytes.size() - lead < wanted ? bytes.substr(0, lead) : bytes;
}

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
