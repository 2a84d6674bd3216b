// MappedFile: a whole file mapped read-only into memory, unmapped when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The bytes are the file's pages, read by the kernel as they are touched: a
// mapping costs address space, and memory only for what is read. The owner
// of a mapping must outlive every view made of it (a corpus opened from a
// saved index holds its mapping for that reason). A file cut shorter by
// someone else while it is mapped makes reads past its new end fault: the
// project never writes a file in place (see IndexWriter), it replaces it.
class MappedFile {
public:
    // Maps the regular file at `path`. Returns nullptr, with a one-line
    // `reason`, if it cannot be opened, is not a regular file, or cannot be
    // mapped. An empty file maps to no bytes.
    static std::unique_ptr<MappedFile> open(const std::string &path, std::string &reason);
    ~MappedFile();

    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::span<const std::byte> bytes() const { return {data_, size_}; }
    std::size_t size() const { return size_; }
    // Advice that [offset, offset + length) will be read from start to end
    // soon; only advice, ignored where the kernel does not take it.
    void adviseSequential(std::size_t offset, std::size_t length) const;
    // Copies the file's bytes from `offset` into `into` (all of it, or
    // false) with pread, from the same file as the mapping but without
    // mapping them into the process: a pass over a large part of the file
    // then leaves the process's resident memory as it was. Any thread.
    bool read(std::size_t offset, std::span<std::byte> into) const;

private:
    MappedFile(int descriptor, const std::byte *data, std::size_t size)
        : descriptor_(descriptor), data_(data), size_(size)
    {
    }

    int descriptor_;
    const std::byte *data_;
    std::size_t size_;
};
