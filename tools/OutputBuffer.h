// OutputBuffer: collects the tool's output and hands it to a stream in large pieces.
#pragma once

#include <cstdio>
#include <string>

class OutputBuffer {
public:
    explicit OutputBuffer(std::FILE *stream) : stream_(stream) { buffer_.reserve(chunk + chunk / 2); }

    std::string &buffer() { return buffer_; }
    // Whether a write has failed (a closed pipe, a full disk): the writers
    // then stop making what nobody can read.
    bool failed() const { return !ok_; }
    void flushIfFull()
    {
        if (buffer_.size() >= chunk)
            flush();
    }
    // Writes what is left; false if any write failed.
    bool finish()
    {
        flush();
        return std::fflush(stream_) == 0 && ok_;
    }

private:
    static constexpr std::size_t chunk = 1 << 16;

    void flush()
    {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
            ok_ = false;
        buffer_.clear();
    }

    std::FILE *stream_;
    std::string buffer_;
    bool ok_ = true;
};
