#include "IndexFile.h"

#include <xxhash.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

using namespace indexformat;

namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

}  // namespace

bool IndexFile::looksLikeIndex(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    char start[sizeof magic] = {};
    const ssize_t got = ::pread(fd, start, sizeof start, 0);
    ::close(fd);
    return got == static_cast<ssize_t>(sizeof start) && std::memcmp(start, magic, sizeof magic) == 0;
}

std::uint32_t IndexFile::elementSizeOf(std::uint32_t kind)
{
    switch (static_cast<SectionKind>(kind)) {
    case SectionKind::TokenBytes:
    case SectionKind::DocumentNames:
    case SectionKind::SavedFrom:
    case SectionKind::OpenedPath:
    case SectionKind::LayerNames:
    case SectionKind::DocumentFields:
        return 1;
    case SectionKind::TokenSlots:
    case SectionKind::Separated:
    case SectionKind::SentenceEnds:
    case SectionKind::LineRuns:
        return 8;
    case SectionKind::Documents:
        return sizeof(DocumentRecord);
    case SectionKind::TokenOffsets:
    case SectionKind::TokenSingles:
    case SectionKind::StopIds:
    case SectionKind::TokenIds:
    case SectionKind::SpellingIds:
    case SectionKind::Boundaries:
    case SectionKind::LineStarts:
    case SectionKind::LineFeeds:
        return 4;
    default:
        break;
    }
    for (const SectionKind direction : {SectionKind::Forward, SectionKind::Backward}) {
        const auto first = static_cast<std::uint32_t>(direction);
        if (kind >= first && kind < first + directionParts)
            return 4;
    }
    const auto layers = static_cast<std::uint32_t>(SectionKind::Layer);
    if (kind >= layers && kind < layers + layerParts * maxOtherLayers) {
        switch ((kind - layers) % layerParts) {
        case LayerBytes: return 1;
        case LayerSlots: return 8;
        default: return 4;
        }
    }
    return 0;
}

bool IndexFile::elementSizeFits(std::uint32_t kind, std::uint32_t size)
{
    const std::uint32_t expected = elementSizeOf(kind);
    const auto layers = static_cast<std::uint32_t>(SectionKind::Layer);
    if (expected != 0 && kind >= layers && (kind - layers) % layerParts == LayerValueIds)
        return size == 1 || size == 2 || size == 4;
    return size == expected;
}

std::string IndexFile::nameOf(std::uint32_t kind)
{
    switch (static_cast<SectionKind>(kind)) {
    case SectionKind::TokenBytes: return "token bytes";
    case SectionKind::TokenOffsets: return "token offsets";
    case SectionKind::TokenSlots: return "token hash slots";
    case SectionKind::TokenSingles: return "one-byte tokens";
    case SectionKind::StopIds: return "stop ids";
    case SectionKind::TokenIds: return "token ids";
    case SectionKind::SpellingIds: return "spelling ids";
    case SectionKind::Boundaries: return "document boundaries";
    case SectionKind::LineStarts: return "line starts";
    case SectionKind::LineFeeds: return "line feeds";
    case SectionKind::Documents: return "documents";
    case SectionKind::DocumentNames: return "document names";
    case SectionKind::SavedFrom: return "saving folder";
    case SectionKind::OpenedPath: return "opened path";
    case SectionKind::Separated: return "separator bits";
    case SectionKind::LayerNames: return "layer names";
    case SectionKind::SentenceEnds: return "sentence ends";
    case SectionKind::LineRuns: return "line runs";
    case SectionKind::DocumentFields: return "document fields";
    default: break;
    }
    const auto layers = static_cast<std::uint32_t>(SectionKind::Layer);
    if (kind >= layers && kind < layers + layerParts * maxOtherLayers) {
        static const char *const parts[] = {"ids", "value bytes", "value offsets", "value hash slots",
                                            "one-byte values"};
        return "layer " + number((kind - layers) / layerParts + 1) + " " + parts[(kind - layers) % layerParts];
    }
    for (const SectionKind direction : {SectionKind::Forward, SectionKind::Backward}) {
        const auto first = static_cast<std::uint32_t>(direction);
        if (kind < first || kind >= first + directionParts)
            continue;
        static const char *const parts[] = {"suffix array", "lcp array", "suffix array minima", "lcp minima",
                                            "stops", "boundaries", "ranks"};
        return std::string(direction == SectionKind::Forward ? "forward " : "backward ") + parts[kind - first];
    }
    return "section " + number(kind);
}

std::unique_ptr<IndexFile> IndexFile::open(std::unique_ptr<MappedFile> file, std::string &reason)
{
    const std::span<const std::byte> bytes = file->bytes();
    if (bytes.size() < sizeof magic || std::memcmp(bytes.data(), magic, sizeof magic) != 0) {
        reason = "not a saved index";
        return nullptr;
    }
    if (bytes.size() < sizeof(Header)) {
        reason = "the index is truncated: " + number(bytes.size()) + " bytes, shorter than its header";
        return nullptr;
    }
    Header header;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (header.byteOrder != byteOrderMark) {
        reason = header.byteOrder == __builtin_bswap32(byteOrderMark)
                     ? "the index was saved on a machine of the other byte order"
                     : "the index's header is damaged (byte order mark)";
        return nullptr;
    }
    if (header.version != version) {
        reason = "the index has format version " + number(header.version) + "; this program reads version "
                 + number(version) + " (save it again)";
        return nullptr;
    }
    if (header.headerSize != sizeof(Header) || header.sectionCount > maxSections) {
        reason = "the index's header is damaged (sizes)";
        return nullptr;
    }
    const std::uint64_t tableEnd = sizeof(Header) + std::uint64_t{header.sectionCount} * sizeof(SectionEntry);
    if (header.fileSize != bytes.size()) {
        reason = header.fileSize > bytes.size()
                     ? "the index is truncated: " + number(bytes.size()) + " of " + number(header.fileSize) + " bytes"
                     : "the index is longer than its header says (" + number(bytes.size()) + " bytes, not "
                           + number(header.fileSize) + ")";
        return nullptr;
    }
    if (tableEnd > bytes.size()) {
        reason = "the index is truncated inside its section table";
        return nullptr;
    }
    const std::uint64_t stored = header.checksum;
    Header zeroed = header;
    zeroed.checksum = 0;
    XXH3_state_t *state = XXH3_createState();
    if (!state) {
        reason = "not enough memory";
        return nullptr;
    }
    XXH3_64bits_reset(state);
    XXH3_64bits_update(state, &zeroed, sizeof zeroed);
    XXH3_64bits_update(state, bytes.data() + sizeof(Header), tableEnd - sizeof(Header));
    const std::uint64_t computed = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    if (computed != stored) {
        reason = "the index's header or section table is damaged (checksum)";
        return nullptr;
    }

    const auto *table = reinterpret_cast<const SectionEntry *>(bytes.data() + sizeof(Header));
    std::uint64_t seen[2] = {0, 0};  // kinds below 64 and from 64 on, as bits
    for (std::uint32_t i = 0; i < header.sectionCount; ++i) {
        const SectionEntry &entry = table[i];
        const std::uint32_t size = elementSizeOf(entry.kind);
        if (size == 0 || entry.kind >= 128) {
            reason = "the index has a section of unknown kind " + number(entry.kind);
            return nullptr;
        }
        const std::string name = nameOf(entry.kind);
        std::uint64_t &bits = seen[entry.kind / 64];
        const std::uint64_t bit = std::uint64_t{1} << (entry.kind % 64);
        if (bits & bit) {
            reason = "the index has two sections of " + name;
            return nullptr;
        }
        bits |= bit;
        if (!elementSizeFits(entry.kind, entry.elementSize) || entry.length % entry.elementSize != 0) {
            reason = "the index's " + name + " have the wrong element size";
            return nullptr;
        }
        if (entry.offset % alignment != 0 || entry.offset < tableEnd || entry.offset > bytes.size()
            || entry.length > bytes.size() - entry.offset) {
            reason = "the index's " + name + " lie outside the file";
            return nullptr;
        }
    }
    return std::unique_ptr<IndexFile>(new IndexFile(std::move(file), header, table));
}

const SectionEntry *IndexFile::find(SectionKind kind) const
{
    for (const SectionEntry &entry : sections()) {
        if (entry.kind == static_cast<std::uint32_t>(kind))
            return &entry;
    }
    return nullptr;
}
