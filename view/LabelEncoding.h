// LabelEncoding: a label's bytes as the toolkit's characters, and typed characters as a label's bytes (see LabelText for the rule).
#pragma once

#include "LabelText.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The characters of a label's bytes (each byte of ill-formed UTF-8 becomes a U+FFFD).
inline QString labelString(std::string_view bytes, LabelEncoding encoding)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    return encoding == LabelEncoding::Utf8 ? QString::fromUtf8(bytes.data(), size)
                                           : QString::fromLatin1(bytes.data(), size);
}

// The viewer's reading of a typed or clicked text: one byte per character,
// Latin-1 characters as they are, every other character, including one
// written with a surrogate pair, as a single "?".
std::string latin1Bytes(const QString &text);

// The bytes a typed text stands for, as labelString() would show them: its
// UTF-8, or one byte per character under Latin-1; nothing when a character
// has no Latin-1 byte (such a text cannot be asked of a corpus read by bytes).
std::optional<std::string> typedBytes(const QString &text, LabelEncoding encoding);

// How many bytes at the start of `bytes` labelString() makes into the first
// `units` UTF-16 units of its result (all of them if it has fewer).
std::size_t labelBytes(std::string_view bytes, qsizetype units, LabelEncoding encoding);
