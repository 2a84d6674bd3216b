// OutputBuffer: collects the tool's output and hands it to a stream or another sink in large pieces; a failed write stays failed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

class OutputBuffer {
public:
    // Takes bytes onwards: true when all of them were written, false when
    // writing failed (a part may have been written).
    using Sink = std::function<bool(std::string_view bytes)>;

    static constexpr std::size_t defaultChunk = 1 << 16;

    explicit OutputBuffer(std::FILE *stream)
        : OutputBuffer([stream](std::string_view bytes) {
              return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
          })
    {
        stream_ = stream;
    }
    // Hands the bytes to `sink` whenever `chunk` of them have been collected
    // (a small chunk lets a test fail the output at any point).
    explicit OutputBuffer(Sink sink, std::size_t chunk = defaultChunk) : sink_(std::move(sink)), chunk_(chunk)
    {
        buffer_.reserve(chunk_ + chunk_ / 2);
    }

    // Where writers append. Once the output has failed, what they append is
    // dropped at the next flush: no later write reaches the sink.
    std::string &buffer() { return buffer_; }
    // Whether a write has failed (a closed pipe, a full disk); stays true.
    // The writers then stop making what nobody can read.
    bool failed() const { return !ok_; }
    void flushIfFull()
    {
        if (buffer_.size() >= chunk_)
            flush();
    }
    // Writes what is left (and flushes the stream); false if any write failed.
    bool finish()
    {
        flush();
        if (ok_ && stream_ && std::fflush(stream_) != 0)
            ok_ = false;
        return ok_;
    }

private:
    void flush()
    {
        if (ok_ && !buffer_.empty() && !sink_(buffer_))
            ok_ = false;
        buffer_.clear();
    }

    Sink sink_;
    std::size_t chunk_ = defaultChunk;
    std::FILE *stream_ = nullptr;
    std::string buffer_;
    bool ok_ = true;
};
