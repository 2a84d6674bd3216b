// LineSource: a file's bytes handed to a LineCursor a block at a time, so that a large file is never held whole.
#pragma once

#include <cstddef>

class LineSource {
public:
    virtual ~LineSource() = default;

    // Puts up to `room` (at least 1) more of the file's bytes at `into` and
    // returns how many; 0 only at the end (or after a failure, which the
    // source keeps for its owner to ask about).
    virtual std::size_t read(char *into, std::size_t room) = 0;
};
