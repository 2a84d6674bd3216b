// TerminalProgress: shows the progress of a long load on a terminal, one line of standard error rewritten in place.
#pragma once

#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <string>

// Shows nothing when the stream is not a terminal, and nothing for the first
// second: a quick load stays silent. Then at most ten times a second: what
// is being done, how far, and the file. The line is cleared when the load
// ends (finish() or the destructor), so that what is printed next starts
// on a clean line. Used from one thread.
class TerminalProgress {
public:
    // `program` starts the line ("morvanet-tree").
    TerminalProgress(std::FILE *stream, std::string program);
    ~TerminalProgress();

    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // A Progress that reports here; it must not outlive this object.
    Progress progress();
    // Clears the line if one is shown.
    void finish();

private:
    void show(const Progress::Step &step);

    std::FILE *stream_;
    std::string program_;
    bool terminal_ = false;
    bool shown_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastShown_;
};
