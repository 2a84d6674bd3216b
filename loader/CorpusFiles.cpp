#include "CorpusFiles.h"

#include "DocumentReaders.h"
#include "GzipReader.h"
#include "MetadataTable.h"
#include "TextFormat.h"
#include "TextReading.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

#if defined(_OPENMP)
#include <omp.h>
#endif

namespace {

// A file to read: its path relative to the folder ("" for a single file) and its size on disk.
struct Entry {
    std::string relative;
    std::uint64_t size = 0;
};

// A name as it goes into a one-line reason.
std::string shown(std::string_view name)
{
    std::string out(name);
    for (char &c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return out;
}

std::optional<LoadedTexts> fail(std::string *reason, std::string why)
{
    if (reason)
        *reason = std::move(why);
    return std::nullopt;
}

std::string joined(const std::string &folder, const std::string &relative)
{
    if (relative.empty())
        return folder;
    if (!folder.empty() && folder.back() == '/')
        return folder + relative;
    return folder + '/' + relative;
}

// Whether a folder reads a regular file named `name`: its ending names a format.
bool isText(std::string_view name)
{
    return textFormatOf(name).has_value();
}

// Adds the entries of the open folder `dir`, at `prefix` ("" or ending in
// '/') below the root: files to read to `entries`, folders to `pending`.
// False, with `why`, when an entry cannot be looked at or the listing fails.
bool listEntries(DIR *dir, const std::string &prefix, std::vector<std::string> &pending,
                 std::vector<Entry> &entries, std::string &why)
{
    errno = 0;
    while (const dirent *item = ::readdir(dir)) {
        const std::string_view name(item->d_name);
        const bool skipped = name.front() == '.' || item->d_type == DT_LNK
            || (item->d_type == DT_REG && !isText(name));
        if (skipped) {
            errno = 0;
            continue;
        }
        if (item->d_type == DT_DIR) {
            pending.push_back(prefix + item->d_name);
        } else {
            struct stat status {};
            if (::fstatat(::dirfd(dir), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                why = shown(prefix + item->d_name) + ": " + std::strerror(errno);
                return false;
            }
            if (S_ISDIR(status.st_mode))
                pending.push_back(prefix + item->d_name);
            else if (S_ISREG(status.st_mode) && isText(name))
                entries.push_back({prefix + item->d_name, static_cast<std::uint64_t>(status.st_size)});
        }
        errno = 0;
    }
    if (errno != 0) {
        why = shown(prefix.empty() ? std::string(".") : prefix) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Lists the files to read below the folder open as `rootFd` (closed here), at
// `root`, into `entries` in reading order. False, with `why`, when a folder
// cannot be listed. A large tree takes a while: the stop is read before
// each folder (Progress::Stopped).
bool listFolder(int rootFd, const std::string &root, std::vector<Entry> &entries, std::string &why,
                const Progress &progress)
{
    // Folders still to list, by their path relative to the root. Each is
    // opened, listed and closed in turn, so depth costs no descriptors.
    std::vector<std::string> pending{std::string()};
    int fd = rootFd;
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        if (progress.stopRequested()) {
            if (fd >= 0)
                ::close(fd);
            throw Progress::Stopped();
        }
        if (fd < 0)
            fd = ::open(joined(root, folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            why = shown(folder.empty() ? std::string(".") : folder) + ": " + std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        fd = -1;
        bool listed = false;
        try {
            listed = listEntries(dir, folder.empty() ? folder : folder + '/', pending, entries, why);
        } catch (const std::bad_alloc &) {
            ::closedir(dir);
            throw;
        }
        ::closedir(dir);
        if (!listed)
            return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.relative < b.relative; });
    return true;
}

// Whether a file is bytes a reader turns into text (a document, or compressed).
bool isPacked(std::string_view path)
{
    return path.ends_with(".gz") || documentReaderFor(path) != nullptr;
}

// The first four-digit year in a date as written ("1851-10-18", "c. 1600"), or "".
std::string yearOf(std::string_view date)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < date.size();) {
        if (!digit(date[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < date.size() && digit(date[end]))
            ++end;
        if (end - i == 4)
            return std::string(date.substr(i, 4));
        i = end;
    }
    return {};
}

// Turns a packed file's bytes into what it holds: inflated when compressed,
// then its reader's text and metadata. False, with `why`, when it cannot be.
bool extractDocument(TextDocument &document, std::string &why, std::vector<std::string> &warnings)
{
    std::string_view name = document.path;
    if (name.ends_with(".gz")) {
        std::string inflated;
        if (!gunzip(document.bytes, inflated, why))
            return false;
        inflated.resize(dropCarriageReturns(inflated.data(), inflated.size()));
        document.bytes = std::move(inflated);
        name = withoutGzip(name);
    }
    if (const DocumentReader *reader = documentReaderFor(name)) {
        ExtractedDocument extracted = reader->read(document.bytes);
        if (!extracted.error.empty()) {
            why = std::move(extracted.error);
            return false;
        }
        document.bytes = std::move(extracted.text);
        document.fields = std::move(extracted.fields);
        warnings = std::move(extracted.warnings);
        for (const auto &[field, value] : document.fields) {
            if (field == "date") {
                if (std::string year = yearOf(value); !year.empty())
                    document.fields.emplace_back("year", std::move(year));
                break;
            }
        }
    }
    return true;
}

// A packed file read whole and waiting for its reader, in a run of them.
struct Packed {
    const Entry *entry = nullptr;
    TextDocument document;
    // Why readEntries fails when it comes to this file (it could not be
    // opened or read); the file is then the run's last and is not extracted.
    std::string failure;
    // What extractDocument made of it.
    bool extracted = false;
    std::string why;
    std::vector<std::string> warnings;
};

// At most this many bytes of packed files are held, read and not yet
// extracted, at once (one file more when a single file is larger): the
// cores get a run of documents to share, and memory holds a bounded part
// of the input's bytes beside the text.
constexpr std::uint64_t maxRunBytes = std::uint64_t{32} << 20;
// Extraction takes two cores, as the rest of the program does; each holds
// one document's parse tree, often several times the document's size.
constexpr int extractionThreads = 2;

// The file of a folder's entry at `path`: `firstFd` when it is open
// already (it is taken, and set to -1), else opened without blocking and
// without following a link; -1, with why, when it cannot be opened or is no
// longer a regular file.
int openEntry(const std::string &path, int &firstFd, std::string &why)
{
    int fd = firstFd;
    firstFd = -1;
    if (fd >= 0)
        return fd;
    struct stat status {};
    fd = openWithoutBlocking(path.c_str(), O_NOFOLLOW, status, why);
    if (fd >= 0 && !S_ISREG(status.st_mode)) {
        ::close(fd);
        why = "no longer a regular file";
        return -1;
    }
    return fd;
}

// Reads the packed files from entries[next] on, in order, until a file that
// is not packed, until `budget` bytes are held (at least one file), or
// until a file cannot be read (kept with its failure, as the run's last).
// `firstFd` is entries[next] already open, or -1; it is taken. `taken`
// counts the bytes read, as the Reading stage reports them.
std::vector<Packed> readPackedRun(const std::string &root, const std::vector<Entry> &entries, std::size_t next,
                                  int &firstFd, std::uint64_t budget, std::uint64_t &taken, std::uint64_t planned,
                                  const Progress &progress)
{
    std::vector<Packed> run;
    std::uint64_t held = 0;
    for (std::size_t k = next; k < entries.size() && (run.empty() || held < budget); ++k) {
        const Entry &entry = entries[k];
        const std::string path = joined(root, entry.relative);
        if (!isPacked(path))
            break;
        if (progress.stopRequested()) {
            if (firstFd >= 0)
                ::close(firstFd);
            throw Progress::Stopped();
        }
        Packed &packed = run.emplace_back();
        packed.entry = &entry;
        packed.document.path = path;
        packed.document.format = formatNameOf(path);
        const std::string named = entry.relative.empty() ? std::string() : shown(entry.relative) + ": ";
        std::string why;
        const int fd = openEntry(path, firstFd, why);
        if (fd < 0) {
            packed.failure = named + why;
            break;
        }
        makeBlocking(fd);
        // Read whole and as bytes: the limit counts the text a reader makes of it.
        TextRead whole;
        try {
            whole = readText(fd, maxLoadableBytes, entry.size, packed.document.bytes, progress, taken, planned,
                             entry.relative, true);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        taken += whole.rawBytes;
        held += packed.document.bytes.size();
        if (whole.error != 0) {
            packed.failure = named + std::strerror(whole.error);
            break;
        }
        if (!whole.complete) {
            packed.failure = named + "grew past the " + std::to_string(maxLoadableBytes) + " bytes that can be loaded";
            break;
        }
    }
    return run;
}

// Runs extractDocument on each file of `run` that was read, on both cores
// when there are several. `done` counts the documents extracted so far, of
// `total`; the Extracting stage reports them from the calling thread alone
// (the one OpenMP numbers 0), since a front's callback may not be called
// from another. An exception thrown for a document (memory running out) is
// carried out of the parallel loop and thrown here, the first in document
// order; a stop is heeded before each document.
void extractRun(std::vector<Packed> &run, std::uint64_t &done, std::uint64_t total, const Progress &progress)
{
    auto count = static_cast<std::int64_t>(run.size());
    if (count > 0 && !run.back().failure.empty())
        --count;
    if (count == 0)
        return;
    std::atomic<std::uint64_t> finished{done};
    std::atomic<bool> abandoned{false};
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(count));
#if defined(_OPENMP)
    const int threads = std::min(extractionThreads, omp_get_max_threads());
#pragma omp parallel for num_threads(threads) schedule(dynamic) if (count > 1 && threads > 1)
#endif
    for (std::int64_t k = 0; k < count; ++k) {
        if (abandoned.load(std::memory_order_relaxed))
            continue;
        Packed &packed = run[static_cast<std::size_t>(k)];
        try {
            if (progress.stopRequested()) {
                abandoned = true;
                continue;
            }
#if defined(_OPENMP)
            const bool reporting = omp_get_thread_num() == 0;
#else
            const bool reporting = true;
#endif
            if (reporting)
                progress.report(Progress::Stage::Extracting, finished.load(), total, packed.entry->relative);
            packed.extracted = extractDocument(packed.document, packed.why, packed.warnings);
            finished.fetch_add(1);
        } catch (...) {
            failures[static_cast<std::size_t>(k)] = std::current_exception();
            abandoned = true;
        }
    }
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    if (abandoned)
        throw Progress::Stopped();
    done = finished.load();
    progress.report(Progress::Stage::Extracting, done, total, run[static_cast<std::size_t>(count - 1)].entry->relative);
}

// Reads the folder's metadata table, if it has one, into `table`; false,
// with `why` naming it, when it cannot be read or is not a table.
bool readMetadataTable(const std::string &folder, std::optional<MetadataTable> &table, std::string &why)
{
    for (const std::string_view name : MetadataTable::names) {
        const std::string path = joined(folder, std::string(name));
        struct stat status {};
        const int fd = openWithoutBlocking(path.c_str(), O_NOFOLLOW, status, why);
        if (fd < 0)
            continue;
        if (!S_ISREG(status.st_mode)) {
            ::close(fd);
            continue;
        }
        makeBlocking(fd);
        std::string bytes;
        const TextRead read = readText(fd, 64 << 20, static_cast<std::uint64_t>(status.st_size), bytes, {}, 0, 0, {}, true);
        ::close(fd);
        if (read.error != 0 || !read.complete) {
            why = std::string(name) + ": " + (read.error ? std::strerror(read.error) : "larger than 64 MB");
            return false;
        }
        table = MetadataTable::parse(bytes, name.ends_with(".tsv"), why);
        if (!table) {
            why = std::string(name) + ": " + why;
            return false;
        }
        return true;
    }
    why.clear();
    return true;
}

// `path` below `folder` as the loader joined them.
std::string relativeTo(const std::string &folder, const std::string &path)
{
    const std::size_t skip = folder.size() + (folder.empty() || folder.back() == '/' ? 0 : 1);
    return path.size() > skip ? path.substr(skip) : path;
}

// Adds the table's fields for the file at `relative` to `document`'s,
// replacing those of the same name; the year follows a date it gives.
void applyTable(const MetadataTable &table, const std::string &relative, TextDocument &document)
{
    const MetadataTable::Fields *given = table.fieldsOf(relative);
    if (!given)
        return;
    bool dated = false, yeared = false;
    for (const std::pair<std::string, std::string> &field : *given) {
        dated = dated || field.first == "date";
        yeared = yeared || field.first == "year";
        const auto same = std::find_if(document.fields.begin(), document.fields.end(),
                                       [&](const auto &known) { return known.first == field.first; });
        if (same != document.fields.end())
            same->second = field.second;
        else
            document.fields.push_back(field);
    }
    if (dated && !yeared) {
        const auto date = std::find_if(document.fields.begin(), document.fields.end(),
                                       [](const auto &field) { return field.first == "date"; });
        std::string year = yearOf(date->second);
        const auto old = std::find_if(document.fields.begin(), document.fields.end(),
                                      [](const auto &field) { return field.first == "year"; });
        if (old != document.fields.end())
            document.fields.erase(old);
        if (!year.empty())
            document.fields.emplace_back("year", std::move(year));
    }
}

// Reads `entries` (the first already open as `firstFd` when that is not -1)
// in order into `texts` until `limit` bytes are kept.
std::optional<LoadedTexts> readEntries(const std::string &root, const std::vector<Entry> &entries, int firstFd,
                                       std::uint64_t limit, std::string *reason, const Progress &progress,
                                       bool leaveAnnotatedUnread)
{
    LoadedTexts texts;
    std::uint64_t onDisk = 0;
    for (const Entry &entry : entries)
        onDisk += entry.size;
    const std::uint64_t planned = limit ? std::min(limit, onDisk) : onDisk;
    if (planned > maxLoadableBytes) {
        if (firstFd >= 0)
            ::close(firstFd);
        return fail(reason, "holds " + std::to_string(planned) + " bytes, more than the "
                                + std::to_string(maxLoadableBytes) + " that can be loaded; set a byte limit");
    }
    // Past the bound, a growing file is refused; under it, the user's limit cuts.
    const std::uint64_t bound = limit ? std::min(limit, maxLoadableBytes) : maxLoadableBytes;
    const bool boundIsLimit = limit && limit <= maxLoadableBytes;

    std::uint64_t documents = 0;  // packed files, which the Extracting stage counts
    for (const Entry &entry : entries)
        documents += isPacked(joined(root, entry.relative));
    std::uint64_t extracted = 0;

    std::size_t next = 0;
    std::uint64_t taken = 0;  // bytes taken from the files so far, carriage returns included
    for (; next < entries.size() && texts.bytesRead < bound; ++next) {
        if (progress.stopRequested()) {
            if (firstFd >= 0)
                ::close(firstFd);
            throw Progress::Stopped();
        }
        const Entry &entry = entries[next];
        const std::string path = joined(root, entry.relative);
        const std::string named = entry.relative.empty() ? std::string() : shown(entry.relative) + ": ";
        if (isPacked(path)) {
            // A run of packed files is read in order, extracted on both
            // cores, then taken in order as one file after another would
            // be: the same texts, warnings and cut. Under a limit the run
            // holds about the room left, since files past the limit are
            // read and extracted for nothing; their failures are told only
            // if the limit leaves them to be read.
            const std::uint64_t budget = boundIsLimit ? std::min(maxRunBytes, bound - texts.bytesRead) : maxRunBytes;
            std::vector<Packed> run = readPackedRun(root, entries, next, firstFd, budget, taken, planned, progress);
            extractRun(run, extracted, documents, progress);
            for (Packed &packed : run) {
                if (texts.bytesRead >= bound)
                    break;
                ++next;
                const std::string &relative = packed.entry->relative;
                if (!packed.failure.empty())
                    return fail(reason, packed.failure);
                if (!packed.extracted) {
                    if (relative.empty())
                        return fail(reason, packed.why);
                    texts.warnings.push_back(shown(relative) + ": passed over: " + packed.why);
                    ++texts.skipped;
                    continue;
                }
                for (const std::string &warning : packed.warnings)
                    texts.warnings.push_back(relative.empty() ? warning : shown(relative) + ": " + warning);
                TextDocument &document = packed.document;
                const std::uint64_t room = bound - texts.bytesRead;
                if (document.bytes.size() > room) {
                    if (!boundIsLimit)
                        return fail(reason, (relative.empty() ? std::string() : shown(relative) + ": ")
                                                + "holds more text than the " + std::to_string(maxLoadableBytes)
                                                + " bytes that can be loaded");
                    texts.cut = true;
                    texts.bytesAvailable += document.bytes.size() - room;
                    document.bytes.resize(static_cast<std::size_t>(room));
                }
                texts.bytesRead += document.bytes.size();
                texts.bytesAvailable += document.bytes.size();
                texts.documents.push_back(std::move(document));
            }
            --next;  // the loop steps past the last file taken
            continue;
        }
        std::string why;
        const int fd = openEntry(path, firstFd, why);
        if (fd < 0)
            return fail(reason, named + why);
        const std::optional<TextFormat> format = textFormatOf(path);
        if (leaveAnnotatedUnread && !boundIsLimit && format && *format != TextFormat::Plain && !isPacked(path)
            && entry.size <= bound - texts.bytesRead) {
            ::close(fd);
            TextDocument document{path, std::string()};
            document.format = formatNameOf(path);
            document.unread = true;
            document.unreadSize = entry.size;
            texts.bytesRead += entry.size;
            texts.bytesAvailable += entry.size;
            taken += entry.size;
            progress.report(Progress::Stage::Reading, taken, planned, entry.relative);
            texts.documents.push_back(std::move(document));
            continue;
        }
        makeBlocking(fd);
        TextDocument document{path, std::string()};
        document.format = formatNameOf(path);
        TextRead read;
        try {
            read = readText(fd, bound - texts.bytesRead, entry.size, document.bytes, progress, taken, planned,
                            entry.relative);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        taken += read.rawBytes;
        if (read.error != 0)
            return fail(reason, named + std::strerror(read.error));
        const std::uint64_t kept = document.bytes.size();
        texts.bytesRead += kept;
        texts.bytesAvailable += kept;
        if (!read.complete) {
            if (!boundIsLimit)
                return fail(reason, named + "grew past the " + std::to_string(maxLoadableBytes)
                                        + " bytes that can be loaded");
            texts.cut = true;
            texts.bytesAvailable += entry.size > read.rawBytes ? entry.size - read.rawBytes : 0;
        }
        texts.documents.push_back(std::move(document));
    }
    for (; next < entries.size(); ++next) {
        if (!boundIsLimit && entries[next].size != 0)  // earlier files grew up to the bound
            return fail(reason, shown(entries[next].relative) + ": more than the "
                                    + std::to_string(maxLoadableBytes) + " bytes that can be loaded");
        texts.bytesAvailable += entries[next].size;
        texts.cut = texts.cut || entries[next].size != 0;
    }
    return texts;
}

std::optional<LoadedTexts> load(const std::string &nativePath, std::uint64_t fileLimit, std::uint64_t folderLimit,
                                std::string *reason, const Progress &progress, bool leaveAnnotatedUnread)
{
    if (nativePath.empty())
        return fail(reason, "no file name given");
    if (nativePath.find('\0') != std::string::npos)
        return fail(reason, "the file name holds a zero byte");

    struct stat status {};
    std::string why;
    const int fd = openWithoutBlocking(nativePath.c_str(), 0, status, why);
    if (fd < 0)
        return fail(reason, why);
    try {
        if (S_ISREG(status.st_mode))
            return readEntries(nativePath, {Entry{std::string(), static_cast<std::uint64_t>(status.st_size)}}, fd,
                               fileLimit, reason, progress, leaveAnnotatedUnread);
        if (S_ISDIR(status.st_mode)) {
            std::vector<Entry> entries;
            if (!listFolder(fd, nativePath, entries, why, progress))
                return fail(reason, why);
            std::optional<MetadataTable> table;
            if (!readMetadataTable(nativePath, table, why))
                return fail(reason, why);
            std::optional<LoadedTexts> texts =
                readEntries(nativePath, entries, -1, folderLimit, reason, progress, leaveAnnotatedUnread);
            if (texts && table) {
                for (std::size_t k = 0; k < texts->documents.size(); ++k)
                    applyTable(*table, relativeTo(nativePath, texts->documents[k].path), texts->documents[k]);
            }
            return texts;
        }
    } catch (const std::bad_alloc &) {
        return fail(reason, "not enough memory to load it");
    }
    ::close(fd);
    return fail(reason, "not a regular file or a folder");
}

}  // namespace

std::optional<LoadedTexts> loadTexts(const std::string &nativePath, std::uint64_t maxBytes, std::string *reason,
                                     const Progress &progress, bool leaveAnnotatedUnread)
{
    return load(nativePath, maxBytes, maxBytes, reason, progress, leaveAnnotatedUnread);
}

std::optional<LoadedTexts> loadTexts(const std::string &nativePath, std::string *reason, const Progress &progress,
                                     bool leaveAnnotatedUnread)
{
    // The viewer's limit is for running text; an annotated file is read
    // whole, since a part of it would end inside a line.
    const std::optional<TextFormat> format = textFormatOf(nativePath);
    const bool annotated = format && *format != TextFormat::Plain;
    return load(nativePath, annotated ? 0 : defaultFileByteLimit, 0, reason, progress, leaveAnnotatedUnread);
}

bool folderWouldRead(const std::string &folderPath, const std::string &path)
{
    const auto resolved = [](const std::string &name, std::string &out) {
        char *real = ::realpath(name.c_str(), nullptr);
        if (real == nullptr)
            return false;
        out = real;
        std::free(real);
        return true;
    };
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                                           : path.substr(0, slash);
    std::string folder, where;
    if (name.empty() || !resolved(folderPath, folder) || !resolved(parent, where))
        return false;
    if (folder != "/")
        folder += '/';
    where += '/';
    if (where.compare(0, folder.size(), folder) != 0)
        return false;
    // The parts below the folder, each as listFolder would meet it.
    std::string_view below = std::string_view(where).substr(folder.size());
    while (!below.empty()) {
        const std::size_t end = below.find('/');
        if (below.front() == '.')
            return false;
        below.remove_prefix(end + 1);
    }
    return name.front() != '.' && isText(name);
}

std::string cutNote(const LoadedTexts &texts)
{
    return "read " + std::to_string(texts.bytesRead) + " of at most " + std::to_string(texts.bytesAvailable)
        + " bytes";
}
