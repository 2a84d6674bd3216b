#include "LabelEncoding.h"

#include <algorithm>

namespace {

bool continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at the start of `bytes`, or
// 0 if none starts there (the toolkit then makes one U+FFFD of one byte).
std::size_t characterLength(std::string_view bytes)
{
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
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
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!continuation(at(i)))
            return 0;
    }
    return length;
}

} // namespace

std::optional<std::string> typedBytes(const QString &text, LabelEncoding encoding)
{
    if (encoding == LabelEncoding::Utf8)
        return text.toStdString();
    const bool latin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
    if (!latin1)
        return std::nullopt;
    return text.toLatin1().toStdString();
}

std::size_t labelBytes(std::string_view bytes, qsizetype units, LabelEncoding encoding)
{
    if (encoding == LabelEncoding::Latin1)
        return std::min(bytes.size(), static_cast<std::size_t>(std::max<qsizetype>(units, 0)));
    // The toolkit drops a byte order mark at the start.
    std::size_t at = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (qsizetype made = 0; made < units && at < bytes.size();) {
        const std::size_t length = characterLength(bytes.substr(at));
        // Four bytes make a surrogate pair; anything else one unit.
        made += length == 4 ? 2 : 1;
        at += length == 0 ? 1 : length;
    }
    return at;
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
