// LabelText: how the bytes of a label become characters, the one rule for the canvas, the pictures, the printed formats and the phrase line.
#pragma once

#include "CorpusOptions.h"

#include <cstddef>
#include <string>
#include <string_view>

// The viewer's texts are Latin-1, one character per byte; a corpus read as
// UTF-8 has UTF-8 labels.
enum class LabelEncoding { Latin1, Utf8 };

inline LabelEncoding labelEncoding(const CorpusOptions &options)
{
    return options.utf8() ? LabelEncoding::Utf8 : LabelEncoding::Latin1;
}

// The length of the UTF-8 sequence at the start of `bytes`, whose first byte
// is 0x80 or above: the whole character when it is well formed (`wellFormed`
// then true), otherwise its maximal ill-formed part (the bytes that could
// still have begun a character, at least one).
std::size_t utf8Sequence(std::string_view bytes, bool &wellFormed);

// Appends the characters of a label's bytes to `out` as UTF-8: a Latin-1
// byte as its character; under UTF-8, well-formed characters as they are
// and each byte of an ill-formed sequence as U+FFFD, as the canvas shows them.
void appendLabelUtf8(std::string &out, std::string_view bytes, LabelEncoding encoding);

// A part of a longer label taken by bytes, less the bytes of a character cut
// in two at its end (or, with `atStart`, at its start), which would read as
// U+FFFD though the label holds a whole character there.
std::string_view wholeCharacters(std::string_view bytes, bool atStart, LabelEncoding encoding);

// Appends `bytes` as a JSON string: Latin-1 bytes as their characters, or
// UTF-8 passed through with each maximal ill-formed sequence as U+FFFD;
// quotes, backslashes and control characters escaped.
void appendJsonString(std::string &out, std::string_view bytes, LabelEncoding encoding);
