// LabelEncoding: how the bytes of a label become characters on the canvas and in the tool's output.
#pragma once

#include "CorpusOptions.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The viewer's texts are Latin-1, one character per byte; a corpus read as
// UTF-8 has UTF-8 labels.
enum class LabelEncoding { Latin1, Utf8 };

inline LabelEncoding labelEncoding(const CorpusOptions &options)
{
    return options.utf8() ? LabelEncoding::Utf8 : LabelEncoding::Latin1;
}

// The characters of a label's bytes (each byte of ill-formed UTF-8 becomes a U+FFFD).
inline QString labelString(std::string_view bytes, LabelEncoding encoding)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    return encoding == LabelEncoding::Utf8 ? QString::fromUtf8(bytes.data(), size)
                                           : QString::fromLatin1(bytes.data(), size);
}

// The bytes a typed text stands for, as labelString() would show them: its
// UTF-8, or one byte per character under Latin-1; nothing when a character
// has no Latin-1 byte (such a text cannot be asked of a corpus read by bytes).
std::optional<std::string> typedBytes(const QString &text, LabelEncoding encoding);

// How many bytes at the start of `bytes` labelString() makes into the first
// `units` UTF-16 units of its result (all of them if it has fewer).
std::size_t labelBytes(std::string_view bytes, qsizetype units, LabelEncoding encoding);

// A part of a longer label taken by bytes, less the bytes of a character cut
// in two at its end (or, with `atStart`, at its start), which would read as
// U+FFFD though the label holds a whole character there.
std::string_view wholeCharacters(std::string_view bytes, bool atStart, LabelEncoding encoding);
