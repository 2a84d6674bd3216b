// TextDocument: one text the loader read, with the name it goes by, its format and its metadata.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TextDocument {
    // As the user would name it, raw bytes: the FILE operand itself for a
    // file; for a file in a folder, the operand joined by '/' with its path
    // in the folder.
    std::string path;
    // The text, carriage returns dropped, possibly cut at the byte limit.
    std::string bytes;
    // An annotated file the loader was asked to leave for its reader (see
    // loadTexts): `bytes` is empty, and the file held `unreadSize` bytes
    // (carriage returns included) when it was listed.
    bool unread = false;
    std::uint64_t unreadSize = 0;
    // What the file is ("txt", "conllu", "html", "xml", with "+gzip" when
    // compressed), and the metadata its reader found ("title", "author",
    // "date"), in the order found.
    std::string format = {};
    std::vector<std::pair<std::string, std::string>> fields = {};
};
