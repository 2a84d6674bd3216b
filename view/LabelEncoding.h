// LabelEncoding: how the bytes of a label become characters on the canvas and in the tool's output.
#pragma once

#include "CorpusOptions.h"

#include <QString>

#include <string_view>

// The viewer's texts are Latin-1, one character per byte; a corpus read as
// UTF-8 has UTF-8 labels.
enum class LabelEncoding { Latin1, Utf8 };

inline LabelEncoding labelEncoding(const CorpusOptions &options)
{
    return options.utf8() ? LabelEncoding::Utf8 : LabelEncoding::Latin1;
}

// The characters of a label's bytes (ill-formed UTF-8 becomes U+FFFD).
inline QString labelString(std::string_view bytes, LabelEncoding encoding)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    return encoding == LabelEncoding::Utf8 ? QString::fromUtf8(bytes.data(), size)
                                           : QString::fromLatin1(bytes.data(), size);
}
