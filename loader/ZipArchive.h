// ZipArchive: the members of a ZIP container (DOCX, ODT, EPUB) read from memory by libzip, each inflated within bounds.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A member may inflate to at most 100 times its compressed size, and never
// past a gigabyte (see GzipReader.h): a small hostile file cannot fill memory.
class ZipArchive {
public:
    // Opens the archive in `bytes`, which must outlive it. Nothing, with a
    // one-line `why`, when it is no ZIP archive or is damaged (cut short).
    static std::unique_ptr<ZipArchive> open(std::string_view bytes, std::string &why);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // The member named `name`, inflated; nothing, with `why`, when it is
    // missing, damaged, encrypted, or inflates past the bounds.
    std::optional<std::string> read(const std::string &name, std::string &why) const;
    bool has(const std::string &name) const;

private:
    explicit ZipArchive(struct zip *archive) : archive_(archive) {}
    struct zip *archive_;
};
