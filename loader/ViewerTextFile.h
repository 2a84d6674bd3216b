// ViewerTextFile: reads a text file the way Open File does, for the viewer (CorpusFiles reads for the tools).
#pragma once

#include "CorpusFiles.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// Only the first this many bytes that a file delivers are ever used.
inline constexpr qint64 maxTextBytes = static_cast<qint64>(defaultFileByteLimit);

// Reads `path` as one text-mode read of maxTextBytes bytes reads it: every
// carriage return dropped, at most maxTextBytes bytes kept after that.
// Returns the bytes delivered, possibly none.
// Returns nothing, and a one-line `reason` when one is asked for, if the path
// is empty, is not a regular file (a directory, a FIFO or a socket would
// block or mislead, so they are never read), cannot be opened, or the read
// reports an error.
std::optional<std::string> loadTextFile(const QString &path, QString *reason = nullptr);

// The same for a name given as the file system's own bytes, as a command line
// gives it: a name that is not valid UTF-8 would not survive a QString.
std::optional<std::string> loadTextFile(const QByteArray &nativePath, QString *reason = nullptr);
