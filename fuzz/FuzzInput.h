// FuzzInput: cuts a fuzzer's bytes into the parameters, the phrase and the text that a target works on.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Stops the run, naming the property that failed, with a report the fuzzer
// records as a crash.
#define FUZZ_CHECK(condition) ((condition) ? void(0) : fuzzinput::fail(#condition, __FILE__, __LINE__))

namespace fuzzinput {

[[noreturn]] inline void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// Reads fixed-size numbers from the front of the input; past its end they read as 0.
class Reader {
public:
    Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte()
    {
        return pos_ < size_ ? data_[pos_++] : 0;
    }
    std::uint32_t u16()
    {
        const std::uint32_t high = byte();
        return high << 8 | byte();
    }
    std::uint32_t u32()
    {
        const std::uint32_t high = u16();
        return high << 16 | u16();
    }
    // The bytes not read yet.
    std::string_view rest() const
    {
        const std::size_t at = std::min(pos_, size_);
        return {reinterpret_cast<const char *>(data_) + at, size_ - at};
    }
    void skip(std::size_t count) { pos_ += std::min(count, size_ - std::min(pos_, size_)); }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct PhraseAndText {
    std::string_view phrase;
    std::string_view text;
};

// The next bytes name a phrase, the rest is the text. A header byte with its
// high bit clear gives the phrase literally, in the (header & 0x7F) bytes that
// follow it; with the high bit set, the phrase is a slice of the text itself,
// (header & 0x3F) bytes long at the offset given by the next two bytes, so
// that most phrases occur and the trees have something to grow.
inline PhraseAndText splitPhraseAndText(Reader &reader)
{
    const std::uint8_t header = reader.byte();
    if ((header & 0x80) == 0) {
        const std::string_view rest = reader.rest();
        const std::string_view phrase = rest.substr(0, header);
        reader.skip(phrase.size());
        return {phrase, reader.rest()};
    }
    const std::uint32_t offset = reader.u16();
    const std::string_view text = reader.rest();
    const std::size_t start = text.empty() ? 0 : offset % text.size();
    return {text.substr(start, header & 0x3F), text};
}

}  // namespace fuzzinput
