#include "OpenedCorpus.h"

#include "CorpusIndex.h"
#include "IndexFile.h"
#include "TextLoader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace

OpenedCorpus::Outcome OpenedCorpus::open(const CorpusRequest &request, const Progress &progress)
{
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<OpenedCorpus> opened(new OpenedCorpus());
    opened->request_ = request;
    if (IndexFile::looksLikeIndex(request.path)) {
        CorpusIndex::Opened index = CorpusIndex::open(request.path);
        if (!index.corpus) {
            outcome.reason = index.reason;
            return outcome;
        }
        const CorpusOptions &saved = index.corpus->options();
        if (request.savedOptions)
            opened->request_.options = saved;
        else if (saved != request.options) {
            outcome.reason = "the index was saved with " + CorpusIndex::describe(saved)
                             + "; ask it with the same word and case options";
            return outcome;
        }
        if (request.maxBytes && *request.maxBytes != 0) {
            outcome.reason = "the index was saved whole (with " + CorpusIndex::describe(saved)
                             + "); --max-bytes does not apply to it";
            return outcome;
        }
        const CorpusIndex::Staleness stale = CorpusIndex::staleness(index);
        if (stale.changed > 0) {
            outcome.warning = std::to_string(stale.changed) + " of the " + std::to_string(index.sources.size())
                              + " files it was saved from changed or are gone (the first: " + stale.first
                              + "); the answers come from the index";
        }
        for (const CorpusIndex::Source &source : index.sources)
            opened->texts_.documents.push_back({source.name, std::string()});
        opened->root_ = index.openedPath ? *index.openedPath : sharedFolder(opened->texts_.documents);
        opened->sources_ = std::move(index.sources);
        opened->savedFrom_ = std::move(index.savedFrom);
        opened->corpus_ = std::move(index.corpus);
        opened->saved_ = true;
        opened->loadSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        outcome.opened = std::move(opened);
        return outcome;
    }
    try {
        std::optional<LoadedTexts> texts = request.maxBytes
                                               ? loadTexts(request.path, *request.maxBytes, &outcome.reason, progress)
                                               : loadTexts(request.path, &outcome.reason, progress);
        if (!texts)
            return outcome;
        if (!fitsInMemory(*texts, request.backward, outcome.reason))
            return outcome;
        opened->texts_ = std::move(*texts);
        opened->root_ = request.path;
        for (const TextDocument &document : opened->texts_.documents)
            opened->views_.emplace_back(document.bytes);
        opened->corpus_ = std::make_unique<const Corpus>(opened->views_, request.options, request.backward, progress);
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
    for (const TextDocument &document : texts_.documents) {
        struct stat status {};
        CorpusIndex::Source source{document.path, 0, 0};
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

std::string OpenedCorpus::cutNote() const
{
    return ::cutNote(texts_);
}
