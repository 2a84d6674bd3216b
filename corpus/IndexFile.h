// IndexFile: a mapped saved index whose header and section table have been checked, read as typed arrays.
#pragma once

#include "IndexFormat.h"
#include "MappedFile.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// Opening checks, in time that does not grow with the file: the magic, the
// byte order, the format version, the header's own checksum (over the
// header and the section table), that the file is as long as the header
// says, and for every section that its kind is known and not repeated, its
// element size fits its kind, and that it starts aligned and ends inside
// the file. What the sections hold is not read: see CorpusIndex for the
// checks made where they are read, and for the whole check.
class IndexFile {
public:
    // Whether `path` starts with an index's magic (false for a folder, an
    // unreadable file or any text).
    static bool looksLikeIndex(const std::string &path);
    // Checks `file` as above. Returns nullptr with a one-line `reason` if it
    // is not a sound index of this format.
    static std::unique_ptr<IndexFile> open(std::unique_ptr<MappedFile> file, std::string &reason);

    const indexformat::Header &header() const { return header_; }
    const MappedFile &file() const { return *file_; }
    std::span<const indexformat::SectionEntry> sections() const { return {table_, header_.sectionCount}; }

    // The section of `kind`, or nullptr if the file has none.
    const indexformat::SectionEntry *find(indexformat::SectionKind kind) const;
    // The bytes of a section of the table.
    std::span<const std::byte> bytes(const indexformat::SectionEntry &entry) const
    {
        return file_->bytes().subspan(entry.offset, entry.length);
    }
    // The elements of section `kind`, empty if the file has none. T must be
    // the kind's element type (its size was checked at opening).
    template <typename T>
    std::span<const T> array(indexformat::SectionKind kind) const
    {
        const indexformat::SectionEntry *entry = find(kind);
        if (!entry)
            return {};
        return {reinterpret_cast<const T *>(file_->bytes().data() + entry->offset), entry->length / sizeof(T)};
    }
    std::string_view text(indexformat::SectionKind kind) const
    {
        const std::span<const char> chars = array<char>(kind);
        return {chars.data(), chars.size()};
    }

    // The element size each kind must have, or 0 for a kind this format does
    // not know; a layer's ids may also be one or two bytes wide.
    static std::uint32_t elementSizeOf(std::uint32_t kind);
    // Whether a section of `kind` may have elements `size` bytes wide.
    static bool elementSizeFits(std::uint32_t kind, std::uint32_t size);
    // A name for a kind, for messages ("token ids", "forward suffix array").
    static std::string nameOf(std::uint32_t kind);

private:
    IndexFile(std::unique_ptr<MappedFile> file, const indexformat::Header &header,
              const indexformat::SectionEntry *table)
        : file_(std::move(file)), header_(header), table_(table)
    {
    }

    std::unique_ptr<MappedFile> file_;
    indexformat::Header header_;
    const indexformat::SectionEntry *table_;
};
