// IndexFormat: the layout of a saved corpus index on disk (see docs/index-format.md).
#pragma once

#include <cstddef>
#include <cstdint>

namespace indexformat {

// "\x89MVI\r\n\x1a\n": the first byte is no text's (not ASCII, not a UTF-8
// lead byte), and a transfer that turns line ends over spoils the rest.
inline constexpr char magic[8] = {'\x89', 'M', 'V', 'I', '\r', '\n', '\x1a', '\n'};
inline constexpr std::uint32_t version = 2;
// Written as the machine stores it: read back on a machine of the other byte
// order it is 0x04030201.
inline constexpr std::uint32_t byteOrderMark = 0x01020304;
// Every section starts at a multiple of this (a cache line), so that it maps
// as an array of any element type and its first element shares no line.
inline constexpr std::uint64_t alignment = 64;
inline constexpr std::uint32_t maxSections = 128;

// What a section holds. The per-direction kinds are Forward + n or Backward + n.
enum class SectionKind : std::uint32_t {
    TokenBytes = 1,    // char: the distinct tokens back to back
    TokenOffsets = 2,  // u32, vocabulary + 1: id -> start in TokenBytes, then the end
    TokenSlots = 3,    // u64, a power of two: the hash table, (hash << 32 | id), empty ~0
    TokenSingles = 4,  // u32, 128: the id of each one-byte ASCII token, or ~0
    StopIds = 5,       // u32, ascending: the ids that end a sentence
    TokenIds = 6,      // u32, positions: the id at each position, ~0 at a boundary
    SpellingIds = 7,   // u32, positions, folded corpora only: the spelling at each position
    Boundaries = 8,    // u32, documents - 1, ascending: the positions between documents
    LineStarts = 9,    // u32, ascending: the positions where a line changes
    LineFeeds = 10,    // u32, one per line start: line feeds before it in its document
    Documents = 11,    // DocumentRecord, documents
    DocumentNames = 12, // char: the documents' names back to back
    SavedFrom = 13,    // char: the working folder the index was saved in
    OpenedPath = 14,   // char: the file or folder the corpus was read from; optional (absent in older indexes)
    Separated = 15,    // u64, ceil(positions / 64): bit p % 64 of word p / 64 tells whether the text separates token p from the one before
    LayerNames = 16,   // char, annotated corpora only: each layer's name followed by a line feed, in layer order
    SentenceEnds = 17, // u64, annotated corpora only: as Separated, the bit of a sentence's last token
    LineRuns = 18,     // u64, ceil(line starts / 64), optional: bit k set when from line start k each position is a line further
    DocumentFields = 19, // char, optional: the documents' metadata as a table (field names, then a row per document)
    Forward = 32,
    Backward = 48,
    // An annotated corpus's layers but the shown one (which is the token
    // table and ids above), the k-th (counting them alone) at Layer + 5 k + LayerPart.
    Layer = 64,
};

// Offsets from Layer + 5 k.
enum LayerPart : std::uint32_t {
    LayerValueIds = 0, // u8, u16 or u32, positions: the value id at each position, all ones at a boundary
    LayerBytes = 1,    // as TokenBytes, TokenOffsets, TokenSlots and TokenSingles, for the layer's values
    LayerOffsets = 2,
    LayerSlots = 3,
    LayerSingles = 4,
    layerParts = 5,
};
// Layers besides the shown one that an index holds.
inline constexpr std::uint32_t maxOtherLayers = 12;

inline constexpr SectionKind layerPart(std::uint32_t layer, LayerPart which)
{
    return static_cast<SectionKind>(static_cast<std::uint32_t>(SectionKind::Layer) + layerParts * layer + which);
}

// Offsets from Forward or Backward.
enum DirectionPart : std::uint32_t {
    SuffixArray = 0,         // u32, positions
    Lcp = 1,                 // u32, positions
    SuffixArrayMinima = 2,   // u32, one per 64 positions
    LcpMinima = 3,           // u32, one per 64 positions
    Stops = 4,               // u32, ascending: the positions of stop ids in this reading
    ReadingBoundaries = 5,   // u32, ascending: the boundaries in this reading
    Ranks = 6,               // u32, positions: the inverse of the suffix array; optional (absent in older indexes)
    directionParts = 7,
};

inline constexpr SectionKind part(SectionKind direction, DirectionPart which)
{
    return static_cast<SectionKind>(static_cast<std::uint32_t>(direction) + which);
}

struct Header {
    char magic[8];
    std::uint32_t byteOrder;
    std::uint32_t version;
    std::uint32_t headerSize;    // sizeof(Header)
    std::uint32_t sectionCount;  // entries in the table right after the header
    std::uint64_t fileSize;
    std::uint64_t positions;     // tokens and boundaries
    std::uint64_t tokens;
    std::uint32_t vocabulary;
    std::uint32_t documents;
    std::uint8_t wordRules;      // WordRules
    std::uint8_t foldCase;
    std::uint8_t allPlain;       // no token has a byte outside 0x20..0x7E
    std::uint8_t shownLayer;     // annotated corpora: 1 + the shown layer's place in LayerNames; 0 for a plain text
    std::uint8_t reserved0[4];
    char icuVersion[16];         // U_ICU_VERSION where it was saved, NUL-padded
    char unicodeVersion[16];     // U_UNICODE_VERSION
    // XXH3 64 of the header (this field zero) followed by the section table.
    std::uint64_t checksum;
    std::uint8_t reserved[152];
};
static_assert(sizeof(Header) == 256);

struct SectionEntry {
    std::uint32_t kind;         // SectionKind
    std::uint32_t elementSize;  // bytes per element
    std::uint64_t offset;       // from the start of the file; a multiple of alignment
    std::uint64_t length;       // bytes, a multiple of elementSize
    std::uint64_t checksum;     // XXH3 64 of the section's bytes
};
static_assert(sizeof(SectionEntry) == 32);

struct DocumentRecord {
    std::uint64_t nameOffset;   // in DocumentNames
    std::uint32_t nameLength;
    std::uint32_t reserved;
    std::uint64_t size;         // of the source file on disk when saved
    std::int64_t modified;      // its modification time, nanoseconds since 1970
};
static_assert(sizeof(DocumentRecord) == 32);

}  // namespace indexformat
