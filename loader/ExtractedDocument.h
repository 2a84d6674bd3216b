// ExtractedDocument: what a DocumentReader made of a file: its text, its metadata, and what went wrong.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ExtractedDocument {
    // UTF-8, a line feed after each paragraph, heading, item, cell or break.
    std::string text;
    // The fields the file gives, in the order found: "title", "author",
    // "date" (as written) where it has them.
    std::vector<std::pair<std::string, std::string>> fields;
    // One line each: what was passed over (a recovered fault, a bound reached).
    std::vector<std::string> warnings;
    // One line: why nothing could be read; empty when the text is the file's.
    std::string error;
};
