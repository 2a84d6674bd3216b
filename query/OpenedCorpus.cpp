#include "OpenedCorpus.h"

#include "CorpusIndex.h"
#include "IndexFile.h"
#include "AnnotatedCorpusBuilder.h"
#include "AnnotationSink.h"
#include "DocumentFilter.h"
#include "FileLineSource.h"
#include "TextFormat.h"
#include "CorpusFiles.h"
#include "VerticalReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// The bytes a corpus takes per byte of text at most, while it is built and
// once its backward index is made (see the README).
constexpr std::uint64_t corpusBytesPerTextByte = 12;

// Refuses, with a one-line reason, an input that the corpus could not hold.
bool fitsInMemory(const LoadedTexts &texts, bool backward, std::string &reason)
{
    const std::uint64_t pages = static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES));
    const std::uint64_t memory = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGE_SIZE));
    const std::uint64_t need = texts.bytesRead * (corpusBytesPerTextByte + (backward ? 4 : 0));
    if (pages == 0 || need <= memory)
        return true;
    reason = "indexing " + std::to_string(texts.bytesRead) + " bytes needs about " + std::to_string(need >> 20)
             + " MB, more than the " + std::to_string(memory >> 20) + " MB of memory this machine has";
    return false;
}

// The longest folder that every source's name lies in, with its final
// '/' ("" when they share none): what an index saved before it kept the
// opened path names its documents below.
std::string sharedFolder(const std::vector<TextDocument> &sources)
{
    if (sources.empty())
        return {};
    std::string_view shared = sources.front().path;
    for (const TextDocument &source : sources) {
        std::size_t same = 0;
        while (same < shared.size() && same < source.path.size() && shared[same] == source.path[same])
            ++same;
        shared = shared.substr(0, same);
    }
    const std::size_t slash = shared.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(shared.substr(0, slash + 1));
}

bool isAnnotated(const TextDocument &document)
{
    const std::optional<TextFormat> format = textFormatOf(document.path);
    return format && *format != TextFormat::Plain;
}

}  // namespace

bool OpenedCorpus::buildAnnotated(const Progress &progress, std::string &reason)
{
    const std::vector<std::string> columns = request_.columns.empty() ? defaultVerticalColumns() : request_.columns;
    if (request_.wordWhenNoShownLayer) {
        // The layers the files will name, known before any is read.
        const std::string_view shown = request_.options.shownLayer();
        bool named = shown == "word";
        for (const TextDocument &document : texts_.documents) {
            const AnnotatedReader *reader = annotatedReaderFor(withoutGzip(document.path));
            const std::vector<std::string> layers = reader ? reader->layers(columns) : std::vector<std::string>();
            named = named || std::find(layers.begin(), layers.end(), shown) != layers.end();
        }
        if (!named)
            request_.options.show.clear();
    }
    AnnotatedCorpusBuilder builder(request_.options);
    ForwardingSink<AnnotatedCorpusBuilder> sink(builder);
    std::uint64_t before = 0;
    const std::uint64_t total = texts_.bytesRead;
    for (TextDocument &document : texts_.documents) {
        const AnnotatedReader *reader = annotatedReaderFor(withoutGzip(document.path));
        // A file the byte limit cut ends inside a line: the part line is not read.
        if (texts_.cut && &document == &texts_.documents.back() && reader) {
            const std::size_t lastFeed = document.bytes.rfind('\n');
            document.bytes.resize(lastFeed == std::string::npos ? 0 : lastFeed + 1);
        }
        std::optional<AnnotationError> error;
        if (document.unread && reader) {
            // Read a block at a time: the file is never held whole.
            std::string why;
            const std::unique_ptr<FileLineSource> source =
                FileLineSource::open(document.path, document.path == request_.path, why);
            if (!source) {
                reason = document.path + ": " + why;
                return false;
            }
            LineCursor lines(*source, progress, before, total);
            builder.startFile(reader->layers(columns));
            error = reader->read(lines, columns, sink);
            if (!error && source->error() != 0) {
                reason = document.path + ": " + std::strerror(source->error());
                return false;
            }
            // Counted as read without its carriage returns, as a file read whole is.
            texts_.bytesRead = texts_.bytesRead - document.unreadSize + source->kept();
            texts_.bytesAvailable = texts_.bytesAvailable - document.unreadSize + source->kept();
            before += document.unreadSize;
        } else if (reader) {
            builder.startFile(reader->layers(columns));
            error = reader->read(document.bytes, columns, sink, progress, before, total);
        } else {
            builder.addPlainFile(document.bytes, progress);
        }
        if (error) {
            reason = describeAnnotationError(document.path, *error);
            return false;
        }
        before += document.bytes.size();
    }
    fileOf_ = builder.documentFiles();
    corpus_ = builder.finish(request_.backward, progress);
    request_.options = corpus_->options();
    return true;
}

bool OpenedCorpus::openSaved(std::string &reason, std::string &warning)
{
    const CorpusRequest request = request_;  // as asked: request_ takes the saved options
    CorpusIndex::Opened index = CorpusIndex::open(request.path);
    if (!index.corpus) {
        reason = index.reason;
        return false;
    }
    const CorpusOptions &saved = index.corpus->options();
    // An annotated corpus is read as UTF-8 whatever the word rules
    // asked: only its case and its shown layer are the request's to choose.
    const bool sameRules = index.corpus->annotated()
                               ? saved.foldCase == request.options.foldCase
                                     && saved.shownLayer() == request.options.shownLayer()
                               : saved == request.options;
    if (request.savedOptions || index.corpus->annotated())
        request_.options = saved;
    if (!request.savedOptions && !sameRules) {
        reason = "the index was saved with " + CorpusIndex::describe(saved)
                 + "; ask it with the same word and case options";
        return false;
    }
    if (request.maxBytes && *request.maxBytes != 0) {
        reason = "the index was saved whole (with " + CorpusIndex::describe(saved)
                 + "); --max-bytes does not apply to it";
        return false;
    }
    const CorpusIndex::Staleness stale = CorpusIndex::staleness(index);
    if (stale.changed > 0) {
        warning = std::to_string(stale.changed) + " of the " + std::to_string(index.sources.size())
                  + " files it was saved from changed or are gone (the first: " + stale.first
                  + "); the answers come from the index";
    }
    for (const CorpusIndex::Source &source : index.sources) {
        texts_.documents.push_back({source.name, std::string()});
        texts_.documents.back().format = formatNameOf(source.name);
        texts_.documents.back().fields = source.fields;
    }
    root_ = index.openedPath ? *index.openedPath : sharedFolder(texts_.documents);
    if (!request.where.empty()) {
        // The index holds every document: the question is asked within the chosen ones.
        const std::optional<DocumentFilter> filter = DocumentFilter::parse(request.where, reason);
        if (!filter)
            return false;
        std::vector<std::uint32_t> chosen = documentsMeeting(*filter);
        if (chosen.empty()) {
            reason = "no document meets --where (" + std::to_string(index.sources.size()) + " in the index)";
            return false;
        }
        within_ = std::make_shared<const DocumentSubset>(*index.corpus, std::move(chosen));
    }
    sources_ = std::move(index.sources);
    savedFrom_ = std::move(index.savedFrom);
    corpus_ = std::move(index.corpus);
    saved_ = true;
    return true;
}

OpenedCorpus::Outcome OpenedCorpus::open(const CorpusRequest &request, const Progress &progress)
{
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<OpenedCorpus> opened(new OpenedCorpus());
    opened->request_ = request;
    if (IndexFile::looksLikeIndex(request.path)) {
        // Mapped, not read: the index is the corpus.
        if (!opened->openSaved(outcome.reason, outcome.warning))
            return outcome;
        opened->loadSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        outcome.opened = std::move(opened);
        return outcome;
    }
    try {
        std::optional<LoadedTexts> texts = request.maxBytes
                                               ? loadTexts(request.path, *request.maxBytes, &outcome.reason, progress, true)
                                               : loadTexts(request.path, &outcome.reason, progress, true);
        if (!texts)
            return outcome;
        if (!fitsInMemory(*texts, request.backward, outcome.reason))
            return outcome;
        opened->texts_ = std::move(*texts);
        opened->root_ = request.path;
        // What the loader passed over or read in part, a line each.
        for (const std::string &warning : opened->texts_.warnings)
            outcome.warning += (outcome.warning.empty() ? "" : "\n") + warning;
        if (opened->texts_.skipped > 0)
            outcome.warning += "\n" + std::to_string(opened->texts_.skipped) + " of the files could not be read and were passed over";
        if (!request.where.empty() && !opened->keepDocumentsWhere(outcome.reason))
            return outcome;
        const std::vector<TextDocument> &documents = opened->texts_.documents;
        if (std::any_of(documents.begin(), documents.end(), isAnnotated)) {
            if (!opened->buildAnnotated(progress, outcome.reason))
                return outcome;
            // The files are not kept (the large ones were never held
            // whole): a document's text is read again when it is shown.
        } else {
            if (request.wordWhenNoShownLayer)
                opened->request_.options.show.clear();  // a plain text's one layer
            for (const TextDocument &document : documents)
                opened->views_.emplace_back(document.bytes);
            opened->corpus_ =
                std::make_unique<const Corpus>(opened->views_, opened->request_.options, request.backward, progress);
        }
    } catch (const Progress::Stopped &) {
        outcome.stopped = true;
        return outcome;
    } catch (const std::length_error &) {
        outcome.reason = "the text has more tokens than the index's 32-bit positions can number";
        return outcome;
    } catch (const std::bad_alloc &) {
        outcome.reason = "not enough memory to index the text";
        return outcome;
    } catch (const std::runtime_error &failure) {
        // The word rules cannot be had (ICU's data is missing): a reason
        // for this corpus, not the end of the program.
        outcome.reason = failure.what();
        return outcome;
    }
    opened->loadSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.opened = std::move(opened);
    return outcome;
}

bool OpenedCorpus::save(const std::string &indexPath, const Progress &progress, std::string &reason) const
{
    // Where each document came from, as it is now (read a moment ago).
    std::vector<CorpusIndex::Source> sources;
    for (std::size_t d = 0; d < documentCount(); ++d) {
        const TextDocument &document = texts_.documents[fileOf(d)];
        struct stat status {};
        CorpusIndex::Source source{document.path, 0, 0, document.fields};
        if (::stat(document.path.c_str(), &status) == 0) {
            source.size = static_cast<std::uint64_t>(status.st_size);
            source.modified = std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
        }
        sources.push_back(std::move(source));
    }
    return CorpusIndex::save(*corpus_, sources, request_.path, indexPath, progress, reason);
}

std::optional<std::string> OpenedCorpus::readDocument(std::size_t document, std::string &reason) const
{
    std::string path = this->path(document);
    if (saved_) {
        const CorpusIndex::Source &source = sources_[document];
        switch (CorpusIndex::stateOf(source, savedFrom_)) {
        case CorpusIndex::SourceState::Changed:
            reason = "the file changed since the index was saved";
            return std::nullopt;
        case CorpusIndex::SourceState::Gone:
            reason = "the file is gone since the index was saved";
            return std::nullopt;
        case CorpusIndex::SourceState::Unchanged:
            break;
        }
        path = CorpusIndex::sourcePath(savedFrom_, source.name);
    }
    std::optional<LoadedTexts> texts = loadTexts(path, 0, &reason);
    if (!texts)
        return std::nullopt;
    if (texts->documents.size() != 1) {
        reason = "it is no longer a file";
        return std::nullopt;
    }
    return std::move(texts->documents.front().bytes);
}

DocumentFilter::Fields OpenedCorpus::filterFields(std::size_t document) const
{
    DocumentFilter::Fields fields{{"path", shownPath(document)}, {"format", format(document)}};
    const auto own = this->fields(document);
    fields.insert(fields.end(), own.begin(), own.end());
    return fields;
}

std::vector<std::uint32_t> OpenedCorpus::documentsMeeting(const DocumentFilter &filter) const
{
    std::vector<std::uint32_t> chosen;
    for (std::size_t d = 0; d < documentCount(); ++d) {
        if (filter.matches(filterFields(d)))
            chosen.push_back(static_cast<std::uint32_t>(d));
    }
    return chosen;
}

bool OpenedCorpus::keepDocumentsWhere(std::string &reason)
{
    const std::optional<DocumentFilter> filter = DocumentFilter::parse(request_.where, reason);
    if (!filter)
        return false;
    // Before indexing, a file is a document (an annotated file's several
    // documents share its fields).
    std::vector<TextDocument> kept;
    for (std::size_t k = 0; k < texts_.documents.size(); ++k) {
        if (filter->matches(filterFields(k)))
            kept.push_back(std::move(texts_.documents[k]));
    }
    filesBeforeWhere_ = texts_.documents.size();
    if (kept.empty()) {
        reason = "no document meets --where (" + std::to_string(filesBeforeWhere_) + " read)";
        return false;
    }
    texts_.documents = std::move(kept);
    return true;
}

std::string OpenedCorpus::shownPath(std::size_t document) const
{
    // The loader names a folder's files "FOLDER/PATH" ("FOLDER" + "PATH" when
    // it ends in '/'), and a file by the name it was opened as; a saved
    // index keeps those names and the path they start with.
    const std::string &full = path(document);
    if (full.size() > root_.size() && full.starts_with(root_) && !root_.empty()) {
        if (root_.back() == '/')
            return full.substr(root_.size());
        if (full[root_.size()] == '/')
            return full.substr(root_.size() + 1);
    }
    const std::size_t slash = full.find_last_of('/');
    return slash == std::string::npos || slash + 1 == full.size() ? full : full.substr(slash + 1);
}

std::string OpenedCorpus::cutNote() const
{
    return ::cutNote(texts_);
}
