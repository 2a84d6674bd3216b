// GzipReader: a gzip-compressed file's bytes (.txt.gz, .conllu.gz, ...), inflated by zlib within bounds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The largest a member may inflate to: 100 times the compressed file, and
// never past a gigabyte, so that a small hostile file cannot fill memory.
inline constexpr std::uint64_t maxInflateRatio = 100;
inline constexpr std::uint64_t maxInflatedBytes = std::uint64_t{1} << 30;

// Inflates `bytes`, one or more gzip members back to back, into `out`.
// False, with a one-line `why`, for a file that is not gzip, is damaged or
// cut short, or inflates past the bounds above.
bool gunzip(std::string_view bytes, std::string &out, std::string &why);

// `name` without a final ".gz": the name of what the file holds.
inline std::string_view withoutGzip(std::string_view name)
{
    return name.ends_with(".gz") ? name.substr(0, name.size() - 3) : name;
}
