// DocumentReaders: the registry that picks a DocumentReader by a file's name; other files are read as they are.
#pragma once

#include "AnnotatedReader.h"
#include "DocumentReader.h"

#include <span>
#include <string_view>

// Every reader there is, in the order their endings are tried.
std::span<const DocumentReader *const> documentReaders();

// The reader for a file named `name` (a bare name or a path, a final ".gz"
// already removed), by its ending; nullptr when none takes it, and the file
// is read as it stands (a .txt or .md text, an annotated file).
const DocumentReader *documentReaderFor(std::string_view name);

// The reader of annotated files for a file named `name` (as above): CoNLL-U
// (".conllu") or vertical (".vrt", ".vert"); nullptr for any other name.
const AnnotatedReader *annotatedReaderFor(std::string_view name);
