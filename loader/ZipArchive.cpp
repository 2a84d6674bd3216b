#include "ZipArchive.h"

#include "GzipReader.h"

#include <zip.h>

#include <algorithm>

std::unique_ptr<ZipArchive> ZipArchive::open(std::string_view bytes, std::string &why)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        why = "libzip cannot read it";
        zip_error_fini(&error);
        return nullptr;
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        why = std::string("not a whole ZIP archive (") + zip_error_strerror(&error) + ")";
        zip_source_free(source);
        zip_error_fini(&error);
        return nullptr;
    }
    zip_error_fini(&error);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive));
}

ZipArchive::~ZipArchive()
{
    zip_discard(archive_);
}

bool ZipArchive::has(const std::string &name) const
{
    return zip_name_locate(archive_, name.c_str(), 0) >= 0;
}

std::optional<std::string> ZipArchive::read(const std::string &name, std::string &why) const
{
    zip_stat_t status;
    zip_stat_init(&status);
    if (zip_stat(archive_, name.c_str(), 0, &status) != 0) {
        why = "it has no " + name;
        return std::nullopt;
    }
    if ((status.valid & ZIP_STAT_ENCRYPTION_METHOD) && status.encryption_method != ZIP_EM_NONE) {
        why = name + " is encrypted";
        return std::nullopt;
    }
    const std::uint64_t compressed = (status.valid & ZIP_STAT_COMP_SIZE) ? status.comp_size : 0;
    const std::uint64_t bound = std::min<std::uint64_t>(maxInflatedBytes, std::max<std::uint64_t>(compressed, 1) * maxInflateRatio);
    zip_file_t *file = zip_fopen(archive_, name.c_str(), 0);
    if (!file) {
        why = name + " cannot be read (" + zip_strerror(archive_) + ")";
        return std::nullopt;
    }
    // Read as it inflates, whatever size the directory claims; the claim,
    // within the bound, only sizes the buffer at first.
    std::string out;
    if (status.valid & ZIP_STAT_SIZE)
        out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(status.size, bound)));
    char piece[1 << 16];
    for (;;) {
        const zip_int64_t got = zip_fread(file, piece, sizeof piece);
        if (got < 0) {
            why = name + " is damaged (" + zip_file_strerror(file) + ")";
            zip_fclose(file);
            return std::nullopt;
        }
        if (got == 0)
            break;
        if (out.size() + static_cast<std::uint64_t>(got) > bound) {
            why = name + " inflates past " + std::to_string(bound) + " bytes (100 times its size, 1 GB at most)";
            zip_fclose(file);
            return std::nullopt;
        }
        out.append(piece, static_cast<std::size_t>(got));
    }
    zip_fclose(file);
    return out;
}
