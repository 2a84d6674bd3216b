// LoadedTexts: what loadTexts read from a file or a folder, in order, and how much of it.
#pragma once

#include "TextDocument.h"

#include <cstdint>
#include <string>
#include <vector>

struct LoadedTexts {
    // The texts read, in reading order; a file that the byte limit left
    // unread is not among them, the one it cut is.
    std::vector<TextDocument> documents;
    // The bytes in all documents together.
    std::uint64_t bytesRead = 0;
    // The size of the whole input with carriage returns dropped. Exact when
    // nothing was cut; when something was, an upper bound: the part not read
    // is counted by its size on disk, carriage returns included.
    std::uint64_t bytesAvailable = 0;
    // Whether the byte limit left part of the input unread: more than
    // carriage returns in the file it cut, or a later file that is not empty.
    bool cut = false;
    // Documents of a folder that could not be read and were passed over.
    std::size_t skipped = 0;
    // One line each, naming the file: a document passed over and why, or
    // one read only in part (ill-formed XML, recovered).
    std::vector<std::string> warnings;
};
