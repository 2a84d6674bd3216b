#include "GzipReader.h"

#include <zlib.h>

#include <algorithm>

bool gunzip(std::string_view bytes, std::string &out, std::string &why)
{
    out.clear();
    const std::uint64_t bound = std::min<std::uint64_t>(maxInflatedBytes, std::uint64_t{bytes.size()} * maxInflateRatio);
    z_stream stream{};
    // 16 + 15: a gzip header, the largest window.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        why = "zlib cannot start";
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    constexpr std::size_t piece = std::size_t{1} << 20;
    std::uint64_t left = bytes.size();
    const auto feed = [&] {
        const auto n = static_cast<uInt>(std::min<std::uint64_t>(left, 1u << 30));
        stream.avail_in = n;
        left -= n;
    };
    feed();
    bool ok = true;
    for (;;) {
        const std::size_t before = out.size();
        const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(piece, bound - out.size() + 1));
        out.resize(before + room);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + before);
        stream.avail_out = static_cast<uInt>(room);
        const int status = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + room - stream.avail_out);
        if (out.size() > bound) {
            why = "it inflates past " + std::to_string(bound) + " bytes (100 times its size, 1 GB at most)";
            ok = false;
            break;
        }
        if (stream.avail_in == 0 && left > 0)
            feed();
        if (status == Z_STREAM_END) {
            // Another member may follow, as gzip writes concatenated files.
            if (stream.avail_in == 0 && left == 0)
                break;
            if (inflateReset(&stream) != Z_OK) {
                why = "zlib cannot read the next member";
                ok = false;
                break;
            }
            continue;
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && left == 0) {
            why = "it is cut short";
            ok = false;
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            why = std::string("it is not gzip or is damaged (") + (stream.msg ? stream.msg : "zlib error") + ")";
            ok = false;
            break;
        }
    }
    inflateEnd(&stream);
    if (!ok)
        out.clear();
    return ok;
}
