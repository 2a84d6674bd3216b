#include "CorpusIndex.h"

#include "BlockMinimum.h"
#include "IndexFile.h"
#include "IndexFormat.h"
#include "IndexWriter.h"
#include "MappedFile.h"

#if defined(_OPENMP)
#include <omp.h>
#endif
#include <unicode/uchar.h>
#include <unicode/uversion.h>
#include <xxhash.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

using namespace indexformat;

namespace {

using Position = Corpus::Position;
using TokenId = Corpus::TokenId;

std::string versionText(const UVersionInfo version)
{
    char text[U_MAX_VERSION_STRING_LENGTH] = {};
    u_versionToString(version, text);
    return text;
}

// The major and minor parts of a version ("15.0.1" -> "15.0").
std::string majorMinor(std::string_view version)
{
    const std::size_t first = version.find('.');
    const std::size_t second = first == std::string_view::npos ? first : version.find('.', first + 1);
    return std::string(version.substr(0, second));
}

// The major part of a version ("72.1" -> "72").
std::string majorOf(std::string_view version)
{
    return std::string(version.substr(0, version.find('.')));
}

std::string fixedText(const char (&field)[16])
{
    return std::string(field, strnlen(field, sizeof field));
}

void setFixedText(char (&field)[16], const std::string &text)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

using Fields = std::vector<std::pair<std::string, std::string>>;
// The most fields an index keeps for its documents (the first met).
constexpr std::size_t maxFields = 4096;

// The documents' fields as the index keeps them: a line of the field names
// in the order first met, then a line per document of its values in that
// order (empty where it has none), tab-separated. A backslash, tab, line
// feed or carriage return in a name or value is written \\, \t, \n or \r.
// Empty when no document has a field.
std::string fieldTable(std::span<const CorpusIndex::Source> sources)
{
    std::vector<std::string> names;
    for (const CorpusIndex::Source &source : sources) {
        for (const auto &field : source.fields) {
            if (!field.second.empty() && names.size() < maxFields
                && std::find(names.begin(), names.end(), field.first) == names.end())
                names.push_back(field.first);
        }
    }
    if (names.empty())
        return {};
    const auto put = [](std::string &out, std::string_view text) {
        for (const char c : text) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\0': out += ' '; break;
            default: out += c;
            }
        }
    };
    std::string table;
    for (std::size_t k = 0; k < names.size(); ++k) {
        table += k > 0 ? "\t" : "";
        put(table, names[k]);
    }
    table += '\n';
    for (const CorpusIndex::Source &source : sources) {
        for (std::size_t k = 0; k < names.size(); ++k) {
            table += k > 0 ? "\t" : "";
            const auto field = std::find_if(source.fields.begin(), source.fields.end(),
                                            [&](const auto &f) { return f.first == names[k]; });
            if (field != source.fields.end())
                put(table, field->second);
        }
        table += '\n';
    }
    return table;
}

// Reads fieldTable's `table` back into one list per document (`documents`
// of them), a document's empty values left out; false when it is not such
// a table of as many rows.
bool readFieldTable(std::string_view table, std::size_t documents, std::vector<Fields> &fields)
{
    std::vector<std::vector<std::string>> rows(1);
    rows.back().emplace_back();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const char c = table[i];
        if (c == '\n') {
            if (rows.size() > documents + 1)
                return false;
            rows.emplace_back(1);
        } else if (c == '\t') {
            // No row has more cells than there are names (a bound on what a damaged table makes).
            if (rows.size() > 1 ? rows.back().size() >= rows.front().size() : rows.back().size() >= maxFields)
                return false;
            rows.back().emplace_back();
        } else if (c != '\\') {
            rows.back().back() += c;
        } else if (++i < table.size()) {
            const char escaped = table[i];
            rows.back().back() += escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped;
        } else {
            return false;
        }
    }
    // The table ends in a line feed: the row after it is empty.
    if (rows.size() != documents + 2 || rows.back() != std::vector<std::string>(1))
        return false;
    const std::vector<std::string> &names = rows.front();
    fields.assign(documents, {});
    for (std::size_t d = 0; d < documents; ++d) {
        if (rows[d + 1].size() != names.size())
            return false;
        for (std::size_t k = 0; k < names.size(); ++k) {
            if (!rows[d + 1][k].empty())
                fields[d].emplace_back(names[k], std::move(rows[d + 1][k]));
        }
    }
    return true;
}

std::string workingFolder()
{
    std::string folder(4096, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return folder;
}

// Writes the sections in turn, keeping their table; arrays go in pieces so
// that progress is heard and a stop comes soon. Without a writer it only
// adds up the bytes the sections will take, for the progress's total.
class SectionSink {
public:
    SectionSink(IndexWriter *writer, const Progress &progress, std::uint64_t total, std::string_view item)
        : writer_(writer), progress_(progress), total_(total), item_(item)
    {
    }

    template <typename T>
    bool add(SectionKind kind, std::span<const T> values)
    {
        return addBytes(kind, std::as_bytes(values), sizeof(T));
    }
    // A section of elements `elementSize` bytes wide.
    bool addBytes(SectionKind kind, std::span<const std::byte> bytes, std::uint32_t elementSize)
    {
        if (!writer_) {
            total_ = (total_ + alignment - 1) / alignment * alignment + bytes.size();
            return true;
        }
        IndexWriter &writer = *writer_;
        if (!writer.beginSection(alignment))
            return false;
        constexpr std::size_t piece = std::size_t{64} << 20;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            progress_.throwIfStopped();
            if (!writer.write(bytes.subspan(at, std::min(piece, bytes.size() - at))))
                return false;
            progress_.report(Progress::Stage::Writing, writer.size(), total_, item_);
        }
        const IndexWriter::Section section = writer.endSection();
        table_.push_back({static_cast<std::uint32_t>(kind), elementSize, section.offset, section.length,
                          section.checksum});
        return true;
    }
    bool addText(SectionKind kind, std::string_view text) { return add(kind, std::span<const char>(text)); }

    const std::vector<SectionEntry> &table() const { return table_; }
    std::uint64_t total() const { return total_; }

private:
    IndexWriter *writer_;
    const Progress &progress_;
    std::uint64_t total_;
    std::string_view item_;
    std::vector<SectionEntry> table_;
};

bool addDirection(SectionSink &sink, SectionKind direction, const SuffixIndex::Stored &index)
{
    return sink.add(part(direction, SuffixArray), index.suffixArray)
           && sink.add(part(direction, Lcp), index.lcpArray)
           && sink.add(part(direction, SuffixArrayMinima), index.suffixArrayMinima)
           && sink.add(part(direction, LcpMinima), index.lcpMinima)
           && sink.add(part(direction, Stops), index.stops)
           && sink.add(part(direction, ReadingBoundaries), index.boundaries)
           && sink.add(part(direction, Ranks), index.ranks);
}

std::uint64_t checksumOf(const Header &header, std::span<const SectionEntry> table)
{
    Header zeroed = header;
    zeroed.checksum = 0;
    XXH3_state_t *state = XXH3_createState();
    if (!state)
        throw std::bad_alloc();
    XXH3_64bits_reset(state);
    XXH3_64bits_update(state, &zeroed, sizeof zeroed);
    XXH3_64bits_update(state, table.data(), table.size_bytes());
    const std::uint64_t sum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return sum;
}

// ---- Opening ----

// What opening has found: the file, and the corpus's arrays in it.
struct Layout {
    std::shared_ptr<const IndexFile> file;
    Corpus::Stored stored;
    std::span<const DocumentRecord> documents;
    std::string_view names;
    std::string_view savedFrom;
    std::optional<std::string_view> openedPath;  // absent in indexes saved before it was kept
    std::vector<Fields> fields;                  // per document; none in indexes saved before they were kept
};

// Fills `layout` from an index whose header and table IndexFile checked;
// false with a reason when a count or a size disagrees.
bool readLayout(const std::shared_ptr<const IndexFile> &file, Layout &layout, std::string &reason)
{
    const Header &header = file->header();
    layout.file = file;
    if (header.wordRules > static_cast<std::uint8_t>(WordRules::Segmented) || header.foldCase > 1) {
        reason = "the index was saved with word rules this program does not know";
        return false;
    }
    CorpusOptions options;
    options.words = static_cast<WordRules>(header.wordRules);
    options.foldCase = header.foldCase != 0;
    if (options.utf8()) {
        // Cutting a phrase and folding it read Unicode's character data: a
        // phrase cut by other data would not meet the tokens the index was
        // cut into. Another ICU of the same Unicode version cuts alike.
        const std::string saved = fixedText(header.unicodeVersion);
        if (majorMinor(saved) != majorMinor(CorpusIndex::unicodeVersion())) {
            reason = "the index was cut into words by Unicode " + saved + " rules; this program has Unicode "
                     + CorpusIndex::unicodeVersion() + " (save it again)";
            return false;
        }
    }
    if (options.words == WordRules::Segmented) {
        // ICU's word rules and dictionaries change between its major
        // versions, not only with Unicode's: another version may cut the
        // same phrase into other words.
        const std::string saved = fixedText(header.icuVersion);
        if (majorOf(saved) != majorOf(CorpusIndex::icuVersion())) {
            reason = "the index was cut into words by the dictionaries of ICU " + saved + "; this program has ICU "
                     + CorpusIndex::icuVersion() + " (save it again)";
            return false;
        }
    }
    const std::uint64_t n = header.positions;
    const std::uint32_t documents = header.documents;
    if (n >= std::numeric_limits<Position>::max() || header.vocabulary >= std::numeric_limits<TokenId>::max()
        || (documents == 0 ? n != 0 || header.tokens != 0 : header.tokens + (documents - 1) != n)) {
        reason = "the index's header is damaged (counts)";
        return false;
    }
    // Each section's size, as the counts give it; a wrong one is a fault.
    bool sound = true;
    const auto need = [&](SectionKind kind, std::uint64_t count, bool exact = true) {
        const SectionEntry *entry = file->find(kind);
        const std::uint64_t elements = entry ? entry->length / entry->elementSize : 0;
        if (sound && (!entry || (exact ? elements != count : elements > count))) {
            reason = "the index's " + IndexFile::nameOf(static_cast<std::uint32_t>(kind))
                     + (entry ? " do not agree with its counts" : " are missing");
            sound = false;
        }
    };
    const std::uint64_t blocks = BlockMinimum::blocksOf(n);
    const std::uint64_t boundaries = documents == 0 ? 0 : documents - 1;
    need(SectionKind::TokenBytes, std::numeric_limits<std::uint32_t>::max(), false);
    need(SectionKind::TokenOffsets, std::uint64_t{header.vocabulary} + 1);
    need(SectionKind::TokenSingles, TokenTable::singleCount);
    need(SectionKind::StopIds, SuffixIndex::maxStops, false);
    need(SectionKind::LineStarts, n, false);
    need(SectionKind::TokenIds, n);
    need(SectionKind::Separated, (n + 63) / 64);
    if (options.foldCase)
        need(SectionKind::SpellingIds, n);
    need(SectionKind::Boundaries, boundaries);
    need(SectionKind::Documents, documents);
    need(SectionKind::DocumentNames, std::numeric_limits<std::uint64_t>::max(), false);
    need(SectionKind::SavedFrom, 65536, false);
    for (const SectionKind direction : {SectionKind::Forward, SectionKind::Backward}) {
        need(part(direction, SuffixArray), n);
        need(part(direction, Lcp), n);
        need(part(direction, SuffixArrayMinima), blocks);
        need(part(direction, LcpMinima), blocks);
        need(part(direction, Stops), n, false);
        need(part(direction, ReadingBoundaries), boundaries);
        if (file->find(part(direction, Ranks)))
            need(part(direction, Ranks), n);
    }
    const std::span<const std::uint64_t> slots = file->array<std::uint64_t>(SectionKind::TokenSlots);
    if (sound && (slots.empty() || (slots.size() & (slots.size() - 1)) != 0)) {
        reason = "the index's token hash slots are not a power of two";
        sound = false;
    }
    const SectionEntry *lineStarts = file->find(SectionKind::LineStarts);
    need(SectionKind::LineFeeds, lineStarts ? lineStarts->length / sizeof(Position) : 0);
    if (file->find(SectionKind::LineRuns))
        need(SectionKind::LineRuns, ((lineStarts ? lineStarts->length / sizeof(Position) : 0) + 63) / 64);
    if (!sound)
        return false;

    // An annotated corpus's layers.
    std::vector<std::string_view> layerNames;
    if (header.shownLayer != 0) {
        need(SectionKind::LayerNames, 65536, false);
        need(SectionKind::SentenceEnds, (n + 63) / 64);
        if (!sound)
            return false;
        std::string_view names = file->text(SectionKind::LayerNames);
        while (!names.empty()) {
            const std::size_t end = names.find('\n');
            if (end == std::string_view::npos)
                break;
            layerNames.push_back(names.substr(0, end));
            names.remove_prefix(end + 1);
        }
        std::vector<std::string_view> sorted = layerNames;
        std::sort(sorted.begin(), sorted.end());
        if (!names.empty() || layerNames.size() > maxOtherLayers + 1 || header.shownLayer > layerNames.size()
            || std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
            reason = "the index's layer names are damaged";
            return false;
        }
        options.show = std::string(layerNames[header.shownLayer - 1u]);
        for (std::uint32_t other = 0; other + 1 < layerNames.size(); ++other) {
            need(layerPart(other, LayerValueIds), n);
            need(layerPart(other, LayerBytes), std::numeric_limits<std::uint32_t>::max(), false);
            need(layerPart(other, LayerOffsets), std::numeric_limits<std::uint32_t>::max(), false);
            need(layerPart(other, LayerSingles), TokenTable::singleCount);
            const std::span<const std::uint64_t> layerSlots = file->array<std::uint64_t>(layerPart(other, LayerSlots));
            const std::span<const std::uint32_t> offsets = file->array<std::uint32_t>(layerPart(other, LayerOffsets));
            if (sound && (layerSlots.empty() || (layerSlots.size() & (layerSlots.size() - 1)) != 0 || offsets.empty()
                          || offsets.front() != 0
                          || offsets.back() != file->array<char>(layerPart(other, LayerBytes)).size())) {
                reason = "the index's layer " + std::to_string(other + 1) + " value table is damaged";
                sound = false;
            }
            for (const TokenId id : file->array<TokenId>(layerPart(other, LayerSingles))) {
                if (sound && id >= offsets.size() - 1 && id != Corpus::noToken) {
                    reason = "the index's layer " + std::to_string(other + 1) + " one-byte values name ids out of range";
                    sound = false;
                }
            }
        }
        if (!sound)
            return false;
    }

    Corpus::Stored &stored = layout.stored;
    stored.options = options;
    stored.ids = file->array<TokenId>(SectionKind::TokenIds);
    // Spellings are read only where their size was checked: in a folded corpus.
    if (options.foldCase)
        stored.spellingIds = file->array<TokenId>(SectionKind::SpellingIds);
    stored.separated = file->array<std::uint64_t>(SectionKind::Separated);
    stored.tokens = {file->array<char>(SectionKind::TokenBytes), file->array<std::uint32_t>(SectionKind::TokenOffsets),
                     slots, file->array<TokenId>(SectionKind::TokenSingles), header.allPlain != 0};
    stored.boundaries = file->array<Position>(SectionKind::Boundaries);
    stored.stopIds = file->array<TokenId>(SectionKind::StopIds);
    stored.lineStarts = file->array<Position>(SectionKind::LineStarts);
    stored.lineFeeds = file->array<std::uint32_t>(SectionKind::LineFeeds);
    stored.lineRuns = file->array<std::uint64_t>(SectionKind::LineRuns);
    for (const SectionKind direction : {SectionKind::Forward, SectionKind::Backward}) {
        SuffixIndex::Stored &index = direction == SectionKind::Forward ? stored.forward : stored.backward;
        index.ids = stored.ids;
        index.reversed = direction == SectionKind::Backward;
        index.stopIds = stored.stopIds;
        index.suffixArray = file->array<Position>(part(direction, SuffixArray));
        index.lcpArray = file->array<std::uint32_t>(part(direction, Lcp));
        index.suffixArrayMinima = file->array<std::uint32_t>(part(direction, SuffixArrayMinima));
        index.lcpMinima = file->array<std::uint32_t>(part(direction, LcpMinima));
        index.stops = file->array<Position>(part(direction, Stops));
        index.boundaries = file->array<Position>(part(direction, ReadingBoundaries));
        index.ranks = file->array<std::uint32_t>(part(direction, Ranks));
    }
    if (!layerNames.empty()) {
        stored.sentenceEnds = file->array<std::uint64_t>(SectionKind::SentenceEnds);
        std::uint32_t other = 0;
        for (std::size_t k = 0; k < layerNames.size(); ++k) {
            if (k + 1 == header.shownLayer) {
                stored.layers.push_back({layerNames[k], {}, {}});
                continue;
            }
            const SectionEntry *ids = file->find(layerPart(other, LayerValueIds));
            stored.layers.push_back({layerNames[k], LayerIds(file->bytes(*ids), ids->elementSize),
                                     {file->array<char>(layerPart(other, LayerBytes)),
                                      file->array<std::uint32_t>(layerPart(other, LayerOffsets)),
                                      file->array<std::uint64_t>(layerPart(other, LayerSlots)),
                                      file->array<TokenId>(layerPart(other, LayerSingles)), false}});
            ++other;
        }
    }
    layout.documents = file->array<DocumentRecord>(SectionKind::Documents);
    layout.names = file->text(SectionKind::DocumentNames);
    layout.savedFrom = file->text(SectionKind::SavedFrom);
    if (file->find(SectionKind::OpenedPath))
        layout.openedPath = file->text(SectionKind::OpenedPath);
    if (file->find(SectionKind::DocumentFields)
        && !readFieldTable(file->text(SectionKind::DocumentFields), layout.documents.size(), layout.fields)) {
        reason = "the index's document fields are not a table of its documents";
        return false;
    }

    // What is read as places to read, checked in time that grows with the
    // number of documents (each of which opening stats anyway), not tokens.
    const std::span<const std::uint32_t> offsets = stored.tokens.offsets;
    if (offsets.front() != 0 || offsets.back() != stored.tokens.bytes.size()) {
        reason = "the index's token offsets do not span its token bytes";
        return false;
    }
    for (std::size_t b = 0; b < stored.boundaries.size(); ++b) {
        const Position at = stored.boundaries[b];
        if (at >= n || (b > 0 && at <= stored.boundaries[b - 1]) || stored.backward.boundaries[boundaries - 1 - b] != n - 1 - at) {
            reason = "the index's document boundaries are out of order";
            return false;
        }
    }
    for (const DocumentRecord &record : layout.documents) {
        if (record.nameOffset > layout.names.size() || record.nameLength > layout.names.size() - record.nameOffset) {
            reason = "the index's document names lie outside their section";
            return false;
        }
    }
    // The ids the token table and the stops hand out besides the text's:
    // a one-byte token's id becomes a phrase's, a stop id is compared with
    // the text's. A few hundred, checked here; the text's are checked in
    // open() (idsSound).
    const std::uint32_t vocabulary = header.vocabulary;
    for (const TokenId id : stored.tokens.singles) {
        if (id >= vocabulary && id != Corpus::noToken) {
            reason = "the index's one-byte tokens name ids out of range";
            return false;
        }
    }
    for (std::size_t k = 0; k < stored.stopIds.size(); ++k) {
        if (stored.stopIds[k] >= vocabulary || (k > 0 && stored.stopIds[k] <= stored.stopIds[k - 1])) {
            reason = "the index's stop ids are out of range or order";
            return false;
        }
    }
    return true;
}

// Whether every id of section `kind` (n of them, checked by readLayout) is
// below `vocabulary`, except at `boundaries` (ascending, below n), which
// hold the boundary id as no other position does; false with a reason if
// not. One pass over the ids on both cores, in pieces handed to whichever
// core is free (the other may be busy with another program). They are read
// with pread rather than through the mapping, which would leave the whole
// array resident in the process, where a question reads far fewer.
bool idsSound(const IndexFile &file, SectionKind kind, std::uint32_t vocabulary, std::span<const Position> boundaries,
              std::string &reason)
{
    const SectionEntry &entry = *file.find(kind);
    const std::string name = IndexFile::nameOf(static_cast<std::uint32_t>(kind));
    const std::uint64_t n = entry.length / sizeof(TokenId);
    constexpr std::uint64_t piece = std::uint64_t{1} << 16;  // ids per read: 256 KB, in a core's cache
    constexpr int threads = 2;
    const auto pieces = static_cast<std::int64_t>((n + piece - 1) / piece);
    const std::size_t bufferSize = static_cast<std::size_t>(std::min(n, piece));
    std::vector<TokenId> buffers(bufferSize * threads);
    std::uint64_t boundaryIds = 0;
    bool inRange = true, atBoundaries = true, failed = false;
#if defined(_OPENMP)
#pragma omp parallel for num_threads(threads) schedule(dynamic, 4) \
    reduction(+ : boundaryIds) reduction(&& : inRange, atBoundaries) reduction(|| : failed)
#endif
    for (std::int64_t k = 0; k < pieces; ++k) {
#if defined(_OPENMP)
        TokenId *buffer = buffers.data() + static_cast<std::size_t>(omp_get_thread_num()) * bufferSize;
#else
        TokenId *buffer = buffers.data();
#endif
        const std::uint64_t from = static_cast<std::uint64_t>(k) * piece;
        const auto size = static_cast<std::size_t>(std::min(piece, n - from));
        if (failed || !file.file().read(entry.offset + from * sizeof(TokenId),
                                        std::as_writable_bytes(std::span<TokenId>(buffer, size)))) {
            failed = true;
            continue;
        }
        // A boundary's id, all ones, is the one id whose successor wraps to
        // 0. GCC vectorizes the loop at -O2 only when told to; clang does
        // unasked, and warns where a sanitizer's instrumentation stops it.
        std::uint32_t over = 0, ends = 0;
#if defined(_OPENMP) && !defined(__clang__)
#pragma omp simd reduction(| : over) reduction(+ : ends)
#endif
        for (std::size_t i = 0; i < size; ++i) {
            const TokenId id = buffer[i];
            over |= static_cast<std::uint32_t>(static_cast<TokenId>(id + 1) > vocabulary);
            ends += static_cast<std::uint32_t>(id == Corpus::noToken);
        }
        inRange = inRange && over == 0;
        boundaryIds += ends;
        for (auto b = std::lower_bound(boundaries.begin(), boundaries.end(), from);
             b != boundaries.end() && *b < from + size; ++b)
            atBoundaries = atBoundaries && buffer[*b - from] == Corpus::noToken;
    }
    if (failed) {
        reason = "cannot read the index's " + name;
        return false;
    }
    if (!inRange) {
        reason = "the index's " + name + " are out of range (the index is damaged)";
        return false;
    }
    if (!atBoundaries || boundaryIds != boundaries.size()) {
        reason = "the index's " + name + " do not mark the document boundaries (the index is damaged)";
        return false;
    }
    return true;
}

// ---- Checking every byte ----

// The first fault of one direction's arrays, or "".
std::string checkDirection(const SuffixIndex &index, std::span<const TokenId> stopIds, bool annotated,
                           const std::string &name)
{
    const std::span<const Position> sa = index.suffixArray();
    const std::span<const std::uint32_t> lcp = index.lcpArray();
    const auto n = static_cast<Position>(sa.size());
    // The suffix array is a permutation: each position's rank, once.
    std::vector<Position> rank(n, std::numeric_limits<Position>::max());
    for (Position i = 0; i < n; ++i) {
        if (sa[i] >= n)
            return "the " + name + " suffix array has an entry out of range at " + std::to_string(i);
        if (rank[sa[i]] != std::numeric_limits<Position>::max())
            return "the " + name + " suffix array names position " + std::to_string(sa[i]) + " twice";
        rank[sa[i]] = i;
    }
    // Neighbours in order, sharing what the lcp array says (Kasai's walk:
    // a position's common prefix with its predecessor is at least the one
    // before it had, less one). A boundary matches nothing and sorts below
    // every token, the end below every boundary, boundaries by position.
    const auto key = [&](std::uint64_t p) -> std::pair<int, std::uint64_t> {
        if (p >= n)
            return {0, 0};
        const TokenId id = index.tokenId(static_cast<Position>(p));
        return id == SuffixIndex::boundaryId ? std::pair<int, std::uint64_t>{1, p} : std::pair<int, std::uint64_t>{2, id};
    };
    if (n > 0 && lcp[0] != 0)
        return "the " + name + " lcp array does not start with 0";
    std::uint64_t h = 0;
    for (Position p = 0; p < n; ++p) {
        const Position i = rank[p];
        if (i == 0) {
            h = 0;
            continue;
        }
        const Position q = sa[i - 1];
        while (p + h < n && q + h < n && index.tokenId(static_cast<Position>(p + h)) != SuffixIndex::boundaryId
               && index.tokenId(static_cast<Position>(p + h)) == index.tokenId(static_cast<Position>(q + h)))
            ++h;
        if (lcp[i] != h)
            return "the " + name + " lcp array is wrong at " + std::to_string(i);
        if (!(key(q + h) < key(p + h)))
            return "the " + name + " suffix array is out of order at " + std::to_string(i);
        if (h > 0)
            --h;
    }
    if (!index.savedRanks().empty() && !std::ranges::equal(rank, index.savedRanks()))
        return "the " + name + " ranks are not the suffix array's inverse";
    rank = {};
    // The block minima and the stops, as the arrays give them.
    const BlockMinimum saMinimum(sa), lcpMinimum(lcp);
    if (!std::ranges::equal(saMinimum.minima(), index.suffixArrayMinimum().minima()))
        return "the " + name + " suffix array minima are wrong";
    if (!std::ranges::equal(lcpMinimum.minima(), index.lcpMinimum().minima()))
        return "the " + name + " lcp minima are wrong";
    const SuffixIndex::Stored stored = index.stored();
    std::size_t s = 0;
    for (Position p = 0; p < n; ++p) {
        const TokenId id = index.tokenId(p);
        // An annotated text's stops are its sentence ends, which the index marks by position.
        const bool stop = annotated ? index.isStopAt(p)
                                    : id != SuffixIndex::boundaryId
                                          && std::find(stopIds.begin(), stopIds.end(), id) != stopIds.end();
        if (!stop)
            continue;
        if (s >= stored.stops.size() || stored.stops[s] != p)
            return "the " + name + " stops are wrong";
        ++s;
    }
    if (s != stored.stops.size())
        return "the " + name + " stops are wrong";
    return {};
}

std::string checkLayout(const Layout &layout)
{
    const IndexFile &file = *layout.file;
    // Every checksum, in file order (one pass over the file).
    file.file().adviseSequential(0, file.file().size());
    for (const SectionEntry &entry : file.sections()) {
        const std::span<const std::byte> bytes = file.bytes(entry);
        if (XXH3_64bits(bytes.data(), bytes.size()) != entry.checksum)
            return "the index's " + IndexFile::nameOf(entry.kind) + " are damaged (checksum)";
    }
    const Corpus::Stored &stored = layout.stored;
    const std::uint32_t vocabulary = static_cast<std::uint32_t>(stored.tokens.offsets.size() - 1);
    // Ids in range, a boundary exactly where the boundaries say.
    std::size_t b = 0;
    for (Position p = 0; p < stored.ids.size(); ++p) {
        const bool boundary = b < stored.boundaries.size() && stored.boundaries[b] == p;
        b += boundary;
        const TokenId id = stored.ids[p];
        const TokenId spelling = stored.spellingIds.empty() ? id : stored.spellingIds[p];
        if (boundary ? id != Corpus::noToken || spelling != Corpus::noToken : id >= vocabulary || spelling >= vocabulary)
            return "the index's token ids are wrong at position " + std::to_string(p);
    }
    // Every other layer's ids likewise, against its own values.
    for (const Corpus::StoredLayer &layer : stored.layers) {
        if (layer.tokens.offsets.empty())
            continue;  // the shown layer: the token ids above
        const auto values = static_cast<std::uint32_t>(layer.tokens.offsets.size() - 1);
        std::size_t at = 0;
        for (Position p = 0; p < layer.ids.size(); ++p) {
            const bool boundary = at < stored.boundaries.size() && stored.boundaries[at] == p;
            at += boundary;
            if (boundary ? layer.ids[p] != Corpus::noToken : layer.ids[p] >= values)
                return "the index's layer " + std::string(layer.name) + " ids are wrong at position " + std::to_string(p);
        }
    }
    // The separator bits: set at every boundary, as saving sets them, and
    // none past the last position.
    for (const Position at : stored.boundaries) {
        if (!((stored.separated[at / 64] >> (at % 64)) & 1))
            return "the index's separator bits are wrong at boundary " + std::to_string(at);
    }
    if (stored.ids.size() % 64 != 0 && stored.separated.back() >> (stored.ids.size() % 64) != 0)
        return "the index's separator bits run past the last position";
    // Sentence ends mark tokens: none at a boundary or past the last position.
    if (!stored.sentenceEnds.empty()) {
        for (const Position at : stored.boundaries) {
            if ((stored.sentenceEnds[at / 64] >> (at % 64)) & 1)
                return "the index's sentence ends mark boundary " + std::to_string(at);
        }
        if (stored.ids.size() % 64 != 0 && stored.sentenceEnds.back() >> (stored.ids.size() % 64) != 0)
            return "the index's sentence ends run past the last position";
    }
    // The token table: offsets in order, every slot naming its token by its
    // hash, every token found, every one-byte token where its byte says.
    const TokenTable table(stored.tokens);
    for (TokenId id = 0; id < vocabulary; ++id) {
        if (stored.tokens.offsets[id] > stored.tokens.offsets[id + 1])
            return "the index's token offsets run backwards at " + std::to_string(id);
    }
    std::size_t filled = 0;
    for (const std::uint64_t slot : stored.tokens.hashSlots) {
        if (slot == ~std::uint64_t{0})
            continue;
        ++filled;
        const auto id = static_cast<TokenId>(slot);
        if (id >= vocabulary || TokenTable::hashOf(table.text(id)) != static_cast<std::uint32_t>(slot >> 32))
            return "the index's token hash slots are wrong";
    }
    if (filled >= stored.tokens.hashSlots.size())
        return "the index's token hash slots are full";
    for (TokenId id = 0; id < vocabulary; ++id) {
        const std::string_view text = table.text(id);
        if (text.size() >= 2 ? table.find(text) != id : text.size() == 1 && table.findSingle(static_cast<unsigned char>(text[0])) != id)
            return "the index's token table does not find token " + std::to_string(id);
    }
    // (Stop ids in range and order were checked by readLayout.)
    const std::span<const TokenId> stopIds = file.array<TokenId>(SectionKind::StopIds);
    // The line index: starts ascending (a boundary may repeat a start that
    // resets the count) inside the positions.
    for (std::size_t k = 0; k < stored.lineStarts.size(); ++k) {
        if (stored.lineStarts[k] > stored.ids.size() || (k > 0 && stored.lineStarts[k] < stored.lineStarts[k - 1]))
            return "the index's line starts are out of order";
    }
    const SuffixIndex forward(stored.forward, stored.sentenceEnds), backward(stored.backward, stored.sentenceEnds);
    const bool annotated = !stored.layers.empty();
    std::string fault = checkDirection(forward, stopIds, annotated, "forward");
    if (fault.empty())
        fault = checkDirection(backward, stopIds, annotated, "backward");
    return fault.empty() ? fault : "the index's " + fault.substr(4);
}

}  // namespace

std::string CorpusIndex::unicodeVersion()
{
    UVersionInfo version;
    u_getUnicodeVersion(version);
    return versionText(version);
}

std::string CorpusIndex::icuVersion()
{
    UVersionInfo version;
    u_getVersion(version);
    return versionText(version);
}

std::string CorpusIndex::describe(const CorpusOptions &options)
{
    std::string text = options.words == WordRules::Unicode     ? "--unicode"
                       : options.words == WordRules::Segmented ? "--segment"
                                                               : "";
    if (options.foldCase)
        text += text.empty() ? "--ignore-case" : " --ignore-case";
    if (options.shownLayer() != "word")
        text += (text.empty() ? "--show " : " --show ") + options.show;
    return text.empty() ? "the byte rules and case kept" : text;
}

bool CorpusIndex::save(const Corpus &corpus, std::span<const Source> sources, const std::string &openedPath,
                       const std::string &path, const Progress &progress, std::string &reason)
{
    Corpus::Stored stored = corpus.stored();
    // The suffix arrays' inverses, so that a question about any set of
    // occurrences (a pattern's) reads only their ranks.
    stored.forward.ranks = corpus.ranks(corpus.forward());
    if (corpus.hasBackward())
        stored.backward.ranks = corpus.ranks(corpus.backward());
    const std::uint32_t documents = static_cast<std::uint32_t>(corpus.boundaries().size() + (corpus.end() > 0 || !sources.empty() ? 1 : 0));
    if (!corpus.hasBackward() || sources.size() != documents) {
        reason = "the corpus is not whole";
        return false;
    }
    std::unique_ptr<IndexWriter> writer = IndexWriter::create(path, reason);
    if (!writer)
        return false;

    std::vector<DocumentRecord> records;
    std::string names;
    for (const Source &source : sources) {
        records.push_back({names.size(), static_cast<std::uint32_t>(source.name.size()), 0, source.size,
                           source.modified});
        names += source.name;
    }
    const std::string fields = fieldTable(sources);
    const std::string savedFrom = workingFolder();

    // An annotated corpus's layers: their names, and the arrays of each but the shown one.
    std::string layerNames;
    std::uint8_t shownLayer = 0;
    if (!stored.layers.empty()) {
        if (stored.layers.size() > maxOtherLayers + 1) {
            reason = "the corpus has more layers than an index keeps (" + std::to_string(maxOtherLayers + 1) + ")";
            return false;
        }
        for (std::size_t k = 0; k < stored.layers.size(); ++k) {
            layerNames += std::string(stored.layers[k].name) + '\n';
            if (k == corpus.shownLayer())
                shownLayer = static_cast<std::uint8_t>(k + 1);
        }
    }
    const auto addLayers = [&](SectionSink &sink) {
        if (stored.layers.empty())
            return true;
        if (!sink.addText(SectionKind::LayerNames, layerNames) || !sink.add(SectionKind::SentenceEnds, stored.sentenceEnds))
            return false;
        std::uint32_t other = 0;
        for (std::size_t k = 0; k < stored.layers.size(); ++k) {
            if (k == corpus.shownLayer())
                continue;
            const Corpus::StoredLayer &layer = stored.layers[k];
            if (!sink.addBytes(layerPart(other, LayerValueIds), layer.ids.bytes(), layer.ids.width()) || !sink.add(layerPart(other, LayerBytes), layer.tokens.bytes)
                || !sink.add(layerPart(other, LayerOffsets), layer.tokens.offsets)
                || !sink.add(layerPart(other, LayerSlots), layer.tokens.hashSlots)
                || !sink.add(layerPart(other, LayerSingles), layer.tokens.singles))
                return false;
            ++other;
        }
        return true;
    };

    const std::uint64_t n = corpus.end();
    const std::uint64_t tableBytes = sizeof(Header) + maxSections * sizeof(SectionEntry);
    const auto addSections = [&](SectionSink &sink) {
        return sink.add(SectionKind::TokenBytes, stored.tokens.bytes)
        && sink.add(SectionKind::TokenOffsets, stored.tokens.offsets)
        && sink.add(SectionKind::TokenSlots, stored.tokens.hashSlots)
        && sink.add(SectionKind::TokenSingles, stored.tokens.singles)
        && sink.add(SectionKind::StopIds, stored.stopIds)
        && sink.add(SectionKind::TokenIds, stored.ids)
        && (stored.spellingIds.empty() || sink.add(SectionKind::SpellingIds, stored.spellingIds))
        && sink.add(SectionKind::Separated, stored.separated)
        && sink.add(SectionKind::Boundaries, stored.boundaries)
        && sink.add(SectionKind::LineStarts, stored.lineStarts) && sink.add(SectionKind::LineFeeds, stored.lineFeeds)
        && (stored.lineRuns.empty() || sink.add(SectionKind::LineRuns, stored.lineRuns))
        && sink.add(SectionKind::Documents, std::span<const DocumentRecord>(records))
        && sink.addText(SectionKind::DocumentNames, names) && sink.addText(SectionKind::SavedFrom, savedFrom)
        && sink.addText(SectionKind::OpenedPath, openedPath)
        && (fields.empty() || sink.addText(SectionKind::DocumentFields, fields))
        && addDirection(sink, SectionKind::Forward, stored.forward)
        && addDirection(sink, SectionKind::Backward, stored.backward) && addLayers(sink);
    };
    // The sizes first, so that the progress knows the whole.
    SectionSink sizes(nullptr, progress, tableBytes, path);
    addSections(sizes);
    SectionSink sink(writer.get(), progress, sizes.total(), path);
    const std::vector<std::byte> placeholder(tableBytes);
    if (!writer->write(placeholder) || !addSections(sink)) {
        reason = writer->reason();
        return false;
    }

    Header header{};
    std::memcpy(header.magic, magic, sizeof magic);
    header.byteOrder = byteOrderMark;
    header.version = version;
    header.headerSize = sizeof(Header);
    header.sectionCount = static_cast<std::uint32_t>(sink.table().size());
    header.fileSize = writer->size();
    header.positions = n;
    header.tokens = corpus.tokenCount();
    header.vocabulary = corpus.vocabularySize();
    header.documents = documents;
    header.wordRules = static_cast<std::uint8_t>(stored.options.words);
    header.foldCase = stored.options.foldCase;
    header.allPlain = stored.tokens.allPlain;
    header.shownLayer = shownLayer;
    setFixedText(header.icuVersion, icuVersion());
    setFixedText(header.unicodeVersion, unicodeVersion());
    header.checksum = checksumOf(header, sink.table());
    if (!writer->writeAt(0, std::as_bytes(std::span<const Header>(&header, 1)))
        || !writer->writeAt(sizeof(Header), std::as_bytes(std::span<const SectionEntry>(sink.table())))
        || !writer->commit()) {
        reason = writer->reason();
        return false;
    }
    return true;
}

CorpusIndex::Opened CorpusIndex::open(const std::string &path)
{
    Opened opened;
    std::unique_ptr<MappedFile> mapped = MappedFile::open(path, opened.reason);
    if (!mapped)
        return opened;
    std::shared_ptr<const IndexFile> file = IndexFile::open(std::move(mapped), opened.reason);
    if (!file)
        return opened;
    Layout layout;
    if (!readLayout(file, layout, opened.reason))
        return opened;
    try {
        const std::uint32_t vocabulary = file->header().vocabulary;
        const Corpus::Stored &stored = layout.stored;
        if (!idsSound(*file, SectionKind::TokenIds, vocabulary, stored.boundaries, opened.reason)
            || (!stored.spellingIds.empty()
                && !idsSound(*file, SectionKind::SpellingIds, vocabulary, stored.boundaries, opened.reason)))
            return opened;
        // The other layers' ids are not read here: every reader of them
        // checks each against its layer's values (Corpus::layerText, the
        // pattern matcher's sets), and --check-index reads them all.
        for (std::size_t d = 0; d < layout.documents.size(); ++d) {
            const DocumentRecord &record = layout.documents[d];
            opened.sources.push_back({std::string(layout.names.substr(record.nameOffset, record.nameLength)),
                                      record.size, record.modified,
                                      layout.fields.empty() ? Fields() : std::move(layout.fields[d])});
        }
        opened.savedFrom = std::string(layout.savedFrom);
        if (layout.openedPath)
            opened.openedPath = std::string(*layout.openedPath);
        opened.corpus = std::make_unique<const Corpus>(layout.stored, file);
    } catch (const std::bad_alloc &) {
        opened = {};
        opened.reason = "not enough memory";
    }
    return opened;
}

std::string CorpusIndex::check(const std::string &path)
{
    std::string reason;
    std::unique_ptr<MappedFile> mapped = MappedFile::open(path, reason);
    if (!mapped)
        return reason;
    std::shared_ptr<const IndexFile> file = IndexFile::open(std::move(mapped), reason);
    if (!file)
        return reason;
    Layout layout;
    if (!readLayout(file, layout, reason))
        return reason;
    try {
        return checkLayout(layout);
    } catch (const std::bad_alloc &) {
        return "not enough memory to check the index";
    }
}

CorpusIndex::Staleness CorpusIndex::staleness(const Opened &opened)
{
    Staleness found;
    for (const Source &source : opened.sources) {
        if (stateOf(source, opened.savedFrom) != SourceState::Unchanged && found.changed++ == 0)
            found.first = source.name;
    }
    return found;
}

std::string CorpusIndex::sourcePath(const std::string &savedFrom, const std::string &name)
{
    return name.starts_with('/') || savedFrom.empty() ? name : savedFrom + "/" + name;
}

CorpusIndex::SourceState CorpusIndex::stateOf(const Source &source, const std::string &savedFrom)
{
    struct stat status {};
    if (::stat(sourcePath(savedFrom, source.name).c_str(), &status) != 0)
        return SourceState::Gone;
    const bool same = static_cast<std::uint64_t>(status.st_size) == source.size
                      && std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec == source.modified;
    return same ? SourceState::Unchanged : SourceState::Changed;
}
