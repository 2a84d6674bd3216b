// FileLineSource: a regular file's bytes for a LineCursor, read a megabyte at a time with carriage returns dropped.
#pragma once

#include "LineSource.h"

#include <cstdint>
#include <memory>
#include <string>

// The loader leaves a large annotated file unread (see loadTexts), and its
// reader walks it through one of these instead: the file is never held
// whole, so reading it costs no memory that grows with it. Carriage returns
// are dropped as the loader drops them.
class FileLineSource : public LineSource {
public:
    // Opens `path`, which must be a regular file; a link to one is followed
    // unless `followLink` is false (a file found in a folder, where links
    // are skipped). Nothing, with a one-line `why`, when it cannot be opened
    // or is not a regular file.
    static std::unique_ptr<FileLineSource> open(const std::string &path, bool followLink, std::string &why);
    ~FileLineSource() override;
    FileLineSource(const FileLineSource &) = delete;
    FileLineSource &operator=(const FileLineSource &) = delete;

    std::size_t read(char *into, std::size_t room) override;

    // errno of the read that failed (it stays set, and read gives 0 from
    // then on), 0 while none failed.
    int error() const { return error_; }
    // The bytes given so far, carriage returns not counted.
    std::uint64_t kept() const { return kept_; }

private:
    explicit FileLineSource(int fd) : fd_(fd) {}

    int fd_;
    int error_ = 0;
    std::uint64_t kept_ = 0;
};
