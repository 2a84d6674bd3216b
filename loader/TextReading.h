// TextReading: the loader's low-level steps: opening a file without blocking on it, and reading it as text.
#pragma once

#include "Progress.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

// What one readText call saw of its file.
struct TextRead {
    int error = 0;              // errno of a failed read, 0 when every read succeeded
    std::uint64_t rawBytes = 0; // bytes taken from the file for the text kept, carriage returns included
    bool complete = false;      // the end of the file came, and nothing but carriage returns after the text kept
};

// Opens `path` read-only and without blocking (a FIFO would otherwise wait
// for a writer), with `extraFlags` added to the open flags, and fstat's what
// was opened into `status`. Returns the descriptor, or -1 with `why` set to
// the system's reason when the open or the fstat failed. The descriptor is
// still non-blocking: clear that with makeBlocking before reading a file.
int openWithoutBlocking(const char *path, int extraFlags, struct stat &status, std::string &why);

// Clears O_NONBLOCK on `fd`.
void makeBlocking(int fd);

// Removes every '\r' from the `length` bytes at `bytes`, moving the rest
// down in place. Returns how many bytes are left.
std::size_t dropCarriageReturns(char *bytes, std::size_t length);

// Reads `fd` from where it stands into `text` (replacing what it held), with
// every carriage return dropped, until the end of the file or until `limit`
// bytes are kept; each read asks for no more than the room left under the
// limit, so the file is consumed as a text-mode read of `limit` bytes would
// consume it. `sizeHint` (the file's size) sets the first allocation and may
// be wrong. When the limit is reached, the file is looked at further only to
// tell whether anything but carriage returns remains (TextRead::complete;
// a failed read there leaves it false and is no error).
// Throws std::bad_alloc when the text does not fit in memory.
//
// Before the first read and after each one, `progress` is told the bytes
// taken from the file so far plus `doneBefore`, of `planned` (Reading, item
// `item`), and asked whether to stop (Progress::Stopped is thrown; `text`
// then holds what was read).
//
// With `raw`, carriage returns are kept: a compressed or packed file is bytes, not text.
TextRead readText(int fd, std::uint64_t limit, std::uint64_t sizeHint, std::string &text,
                  const Progress &progress = {}, std::uint64_t doneBefore = 0, std::uint64_t planned = 0,
                  std::string_view item = {}, bool raw = false);
