// CorpusFiles: the files a corpus is made of: a FILE operand, a single file or a folder of texts, documents and annotated files, read up to a byte limit.
#pragma once

#include "LoadedTexts.h"
#include "Progress.h"

#include <cstdint>
#include <optional>
#include <string>

// The limit a single file is read to by default, as the viewer reads it.
inline constexpr std::uint64_t defaultFileByteLimit = 1'000'000;
// No input larger than this is loaded: a corpus counts its positions in 32 bits.
inline constexpr std::uint64_t maxLoadableBytes = 0xFFFF'FFFF;

// Reads the text at `nativePath`, a name as the file system's own bytes.
//
// A regular file (or a link to one) is read as the viewer reads it: every
// carriage return dropped, at most `maxBytes` bytes kept (0: no limit). The
// one document is named `nativePath`.
//
// A folder (or a link to one) is read as the regular files below it whose
// names end in ".txt", ".conllu", ".vrt" or ".vert" (the endings that
// textFormatOf knows; each file is read as bytes, whatever its format),
// found recursively, in the byte order of their paths relative to the
// folder ('/' included, so "a/z.txt" comes before "b.txt").
// Names starting with '.' are skipped, files and folders alike; symbolic
// links inside the folder are never followed (skipped); FIFOs, sockets and
// devices are skipped whatever their names. The limit counts all files
// together: they are read in order until it is reached, the last one cut
// and the ones after it not opened. An empty folder gives no documents.
//
// Returns nothing, and a one-line `reason` (names in it shown with control
// bytes as '?') when asked for, if: the name is empty or holds a zero byte;
// the operand cannot be opened, or is neither a regular file nor a folder;
// a folder below it cannot be listed, or a file to be read has vanished,
// cannot be opened or read, or is no longer a regular file (the reason then
// starts with its path in the folder); the input to read, counted by size
// on disk up to the limit, is larger than maxLoadableBytes; or memory runs out.
//
// `progress` hears how many bytes were read of how many are planned, and
// the file being read (its path in the folder); then, for documents that a
// reader turns into text (isPacked: HTML, XML, office files, PDF, gzip),
// how many are extracted of how many the input holds, and the document
// begun or ended (Extracting). Documents are extracted on two cores, a run
// of them read first, in order, and taken in order after: the texts,
// warnings and cut are those of reading them one after another. Reports
// come from the calling thread only. When it asks to stop, Progress::Stopped
// is thrown (within a document's extraction) and nothing is kept.
//
// With `leaveAnnotatedUnread`, when no byte limit applies (maxBytes 0 or
// above maxLoadableBytes), an annotated file (CoNLL-U, vertical) is not
// read but listed (TextDocument::unread), counted by its size on disk:
// its reader walks it a block at a time (FileLineSource), and a corpus of
// several hundred megabytes never holds its text. The caller then owns the
// checks the reading would make (the file may be gone or changed).
std::optional<LoadedTexts> loadTexts(const std::string &nativePath, std::uint64_t maxBytes, std::string *reason,
                                     const Progress &progress = {}, bool leaveAnnotatedUnread = false);

// The same with the default limits: defaultFileByteLimit for a single text
// file, none for a folder or a single annotated file (CoNLL-U, vertical).
std::optional<LoadedTexts> loadTexts(const std::string &nativePath, std::string *reason,
                                     const Progress &progress = {}, bool leaveAnnotatedUnread = false);

// Whether a regular file written at `path` (existing or not) would be read
// as one of the texts of the folder at `folderPath` by the rules above: it
// lies below the folder (links in the path of its own folder resolved; a
// link named `path` itself is replaced by what is written), its name ends
// in one of the endings above, and neither it nor the folders between start
// with '.'. False when either cannot be resolved.
bool folderWouldRead(const std::string &folderPath, const std::string &path);

// The note for standard error when `texts.cut`: "read X of at most Y bytes",
// from bytesRead and bytesAvailable (at most: the part not read was counted
// with its carriage returns).
std::string cutNote(const LoadedTexts &texts);
