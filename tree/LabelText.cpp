#include "LabelText.h"

namespace {

bool continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

}  // namespace

std::size_t utf8Sequence(std::string_view bytes, bool &wellFormed)
{
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        wellFormed = false;
        return 1;
    }
    std::size_t k = 1;
    if (k < bytes.size() && at(1) >= low && at(1) <= high) {
        for (k = 2; k < length && k < bytes.size() && continuation(at(k));)
            ++k;
    }
    wellFormed = k == length;
    return k;
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
        while (skip < 3 && skip < bytes.size() && continuation(static_cast<unsigned char>(bytes[skip])))
            ++skip;
        return bytes.substr(skip);
    }
    // The last character's lead byte, at most three bytes from the end.
    std::size_t lead = bytes.size() - 1;
    while (lead > 0 && bytes.size() - lead < 4 && continuation(static_cast<unsigned char>(bytes[lead])))
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
