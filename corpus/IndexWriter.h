// IndexWriter: writes a file of checksummed, aligned sections so that it appears whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The bytes go to a temporary file in the target's folder; commit() flushes
// it to the disk (fsync), renames it over the target and flushes the folder.
// Until then the target, if it exists, is untouched, and a writer destroyed
// without a commit (a failed write, a full disk, an exception) removes its
// temporary file. The first failure is kept: later calls do nothing and
// return false, and reason() tells what failed.
class IndexWriter {
public:
    // Where a finished section lies in the file, and the XXH3 64-bit hash of its bytes.
    struct Section {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        std::uint64_t checksum = 0;
    };

    // Starts writing `target`: makes the temporary file (permissions as a
    // new file would get under the umask). Returns nullptr with a one-line
    // `reason` if it cannot be made.
    static std::unique_ptr<IndexWriter> create(const std::string &target, std::string &reason);
    ~IndexWriter();

    IndexWriter(const IndexWriter &) = delete;
    IndexWriter &operator=(const IndexWriter &) = delete;

    // Pads the file with zero bytes up to a multiple of `alignment` (a
    // power of two) and starts a section there.
    bool beginSection(std::size_t alignment);
    // Appends bytes to the current section.
    bool write(std::span<const std::byte> bytes);
    template <typename T>
    bool writeArray(std::span<const T> values)
    {
        return write(std::as_bytes(values));
    }
    // Ends the current section.
    Section endSection();
    // Overwrites bytes already written (a header filled in last); not part of any section.
    bool writeAt(std::uint64_t offset, std::span<const std::byte> bytes);
    // Bytes written so far, padding included.
    std::uint64_t size() const { return size_; }

    // Flushes, renames over the target, flushes the folder. False, with the
    // temporary file removed, if any of it or any write before failed.
    bool commit();
    bool failed() const { return !reason_.empty(); }
    const std::string &reason() const { return reason_; }

    // Makes the signals that end a process by default (SIGINT, SIGTERM,
    // SIGHUP, SIGQUIT) remove the temporary file of the writer that is open
    // at the time before the process ends as it would have; and makes
    // exceeding the file size limit a failed write (EFBIG) instead of the
    // end of the process. For programs, once, before writing.
    static void removeTemporaryOnSignals();

private:
    IndexWriter(int fd, std::string target, std::string temporary);
    bool fail(const char *what, int error);
    bool writeAll(const std::byte *bytes, std::size_t length);

    int fd_;
    std::string target_;
    std::string temporary_;
    std::string reason_;
    std::uint64_t size_ = 0;
    std::uint64_t sectionStart_ = 0;
    struct Hash;
    std::unique_ptr<Hash> hash_;
    bool committed_ = false;
};
