// LayerIds: a layer's value id at every position, read from ids stored one, two or four bytes wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// A layer of a few values (parts of speech, relations) needs no four bytes a
// position: its ids are kept as narrow as its values allow, which makes the
// corpus and its saved index smaller and the save faster. A stored id of all
// ones (at its width) is a boundary, read as all ones at 32 bits.
class LayerIds {
public:
    static constexpr std::uint32_t none = UINT32_MAX;

    // The widest id a width holds (all ones is the boundary): 254, 65534 or
    // 2^32 - 2.
    static constexpr std::uint32_t largestFor(unsigned width)
    {
        return width == 1 ? 0xFEu : width == 2 ? 0xFFFEu : UINT32_MAX - 1;
    }

    LayerIds() = default;
    // Over `bytes`, ids `width` (1, 2 or 4) bytes wide in the machine's byte
    // order; bytes past the last whole id are not read. The bytes must
    // outlive the view.
    LayerIds(std::span<const std::byte> bytes, unsigned width)
        : bytes_(bytes.data()), size_(width ? bytes.size() / width : 0), width_(width)
    {
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    unsigned width() const { return width_; }
    std::span<const std::byte> bytes() const { return {bytes_, size_ * width_}; }

    // The id at p < size(); none at a boundary.
    std::uint32_t operator[](std::size_t p) const
    {
        switch (width_) {
        case 1: {
            const auto id = static_cast<std::uint8_t>(bytes_[p]);
            return id == 0xFF ? none : id;
        }
        case 2: {
            std::uint16_t id;
            std::memcpy(&id, bytes_ + 2 * p, 2);
            return id == 0xFFFF ? none : id;
        }
        default: {
            std::uint32_t id;
            std::memcpy(&id, bytes_ + 4 * p, 4);
            return id;
        }
        }
    }

private:
    const std::byte *bytes_ = nullptr;
    std::size_t size_ = 0;
    unsigned width_ = 4;
};
