// SegmentedReference: a plain reference for the segmented word rules, shared by the tests and the fuzzers.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct ReferenceToken {
    std::string text;     // without U+0000
    std::uint32_t start;  // offset of its first byte in the text
    bool operator==(const ReferenceToken &) const = default;
};

// The tokens of `text` by the segmented rules, made the slow and obvious
// way: the text split into maximal runs of well-formed characters, each
// without its U+0000 (remembering where each byte came from), converted to
// UTF-16 and given whole to ICU's word break iterator for the root locale;
// a word segment is a token, any other segment is cut by the category rules.
std::vector<ReferenceToken> segmentedReference(std::string_view text);

// Prints a token as the tests' messages show it.
inline void PrintTo(const ReferenceToken &token, std::ostream *out)
{
    *out << '"' << token.text << "\"@" << token.start;
}
