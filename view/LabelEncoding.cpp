#include "LabelEncoding.h"

#include <QList>

#include <algorithm>

std::string latin1Bytes(const QString &text)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const char32_t c : text.toUcs4())
        bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return bytes;
}

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
        // A well-formed character of four bytes makes a surrogate pair;
        // anything else one unit, and each ill-formed byte a U+FFFD.
        bool wellFormed = true;
        const std::size_t length = static_cast<unsigned char>(bytes[at]) < 0x80 ? 1 : utf8Sequence(bytes.substr(at), wellFormed);
        made += wellFormed && length == 4 ? 2 : 1;
        at += wellFormed ? length : 1;
    }
    return at;
}
