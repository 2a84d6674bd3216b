// TextDocument: one text the loader read, with the name it goes by.
#pragma once

#include <string>

struct TextDocument {
    // As the user would name it, raw bytes: the FILE operand itself for a
    // file; for a file in a folder, the operand joined by '/' with its path
    // in the folder.
    std::string path;
    // The text, carriage returns dropped, possibly cut at the byte limit.
    std::string bytes;
};
