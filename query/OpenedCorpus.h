// OpenedCorpus: a corpus opened from a path, with the documents it was made of and what reading it cost.
#pragma once

#include "Corpus.h"
#include "CorpusIndex.h"
#include "CorpusRequest.h"
#include "DocumentFilter.h"
#include "DocumentSubset.h"
#include "LoadedTexts.h"
#include "Progress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class OpenedCorpus {
public:
    // What open() gives: the corpus, or why there is none.
    struct Outcome {
        std::unique_ptr<OpenedCorpus> opened;  // set when it was opened
        std::string reason;                    // one line, when it was not and not for a stop
        bool stopped = false;                  // the progress asked to stop
        std::string warning;                   // lines worth telling even so (one each), or empty
    };

    // Reads `request.path` (a file or a folder, see loadTexts) and indexes it
    // by `request.options`. Refuses, with a one-line reason, what cannot be
    // read, an input whose index would not fit in this machine's memory, a
    // text with more tokens than the index's 32-bit positions can number,
    // and a segmented request when ICU's word break rules cannot be loaded.
    // `progress` hears the reading and the indexing and may stop either;
    // nothing is kept then. Never throws but std::bad_alloc outside indexing.
    //
    // A saved index (a file that starts as one, see CorpusIndex) is mapped
    // instead, reading only its token ids, to check them (CorpusIndex::open
    // refuses, with a reason, an index whose ids name no token): both
    // directions are there. It is refused, with a reason naming how it was saved, when the
    // request's word or case options differ from the ones it was saved
    // with (unless it asks for the saved ones), or when the request limits
    // the bytes (0 sets no limit). When a source file it
    // was saved from changed or is gone, `warning` says so; the corpus is
    // the index's all the same.
    static Outcome open(const CorpusRequest &request, const Progress &progress = {});

    // Saves the corpus with both directions (the request must have asked
    // for the backward index) and where each document came from as an
    // index at `indexPath` (see CorpusIndex::save). False with a one-line
    // `reason` if it cannot be written; Progress::Stopped if asked to stop.
    bool save(const std::string &indexPath, const Progress &progress, std::string &reason) const;

    OpenedCorpus(const OpenedCorpus &) = delete;
    OpenedCorpus &operator=(const OpenedCorpus &) = delete;

    const Corpus &corpus() const { return *corpus_; }
    const CorpusRequest &request() const { return request_; }

    // The documents in corpus order: each one's path as the loader named it
    // (raw bytes; for a saved index, as it was named when saved), and the
    // texts kept in memory: every document's, or none for a saved index
    // (its corpus needs none; see readDocument).
    std::size_t documentCount() const { return fileOf_.empty() ? texts_.documents.size() : fileOf_.size(); }
    // The files read: as many as the documents, unless an annotated file
    // holds several ("# newdoc", <text>); for a saved index, its documents.
    std::size_t fileCount() const { return texts_.documents.size(); }
    const std::string &path(std::size_t document) const { return texts_.documents[fileOf(document)].path; }
    std::span<const std::string_view> texts() const { return views_; }
    // A document's path as a person reads it: below the opened folder (the
    // root), or the file's name when a file was opened.
    std::string shownPath(std::size_t document) const;
    // What the file that holds a document is ("txt", "html", "conllu+gzip"),
    // and the metadata its reader or the folder's table gave ("title",
    // "author", "date", "year"), in the order found; a saved index keeps
    // them (none in one saved before indexes kept them).
    const std::string &format(std::size_t document) const { return texts_.documents[fileOf(document)].format; }
    std::span<const std::pair<std::string, std::string>> fields(std::size_t document) const
    {
        return texts_.documents[fileOf(document)].fields;
    }
    // What --where and the explorer's filter ask of a document: its fields,
    // with "path" (shownPath) and "format" first.
    DocumentFilter::Fields filterFields(std::size_t document) const;
    // The documents (ascending) whose filterFields meet `filter`.
    // Time: the documents' fields.
    std::vector<std::uint32_t> documentsMeeting(const DocumentFilter &filter) const;
    // The documents that questions are asked within, when --where chose
    // them from a saved index (whose corpus holds them all); none when the
    // corpus holds only what is asked about. Set it as Query::within.
    const std::shared_ptr<const DocumentSubset> &within() const { return within_; }

    // One line each, naming its file: a document passed over and why, or
    // one read in part; and how many were passed over.
    std::span<const std::string> warnings() const { return texts_.warnings; }
    // The files read before --where kept some of them (fileCount() without
    // it; a saved index keeps them all, see within()).
    std::size_t filesBeforeWhere() const { return filesBeforeWhere_ ? filesBeforeWhere_ : fileCount(); }
    std::size_t skipped() const { return texts_.skipped; }
    // Whether the corpus is a saved index's.
    bool saved() const { return saved_; }
    // The file or folder the documents' paths start with, to name them by
    // what follows: the request's path; for a saved index the one it was
    // saved from, or, for an index saved before indexes kept it, the
    // longest folder all its documents' paths share ("" when none).
    const std::string &root() const { return root_; }
    // Reads `document` (< documentCount()) from its file again, as the
    // loader reads it: for a saved index its source file (a relative name
    // taken from the folder it was saved in), and only while it is as it
    // was saved, since the corpus's positions and lines describe that text.
    // Nothing, with a one-line `reason`, when it changed since, is gone or
    // cannot be read. Time: the file's bytes.
    std::optional<std::string> readDocument(std::size_t document, std::string &reason) const;

    // How much was read: all of the input, or (cut()) a part of it.
    std::uint64_t bytesRead() const { return texts_.bytesRead; }
    std::uint64_t bytesAvailable() const { return texts_.bytesAvailable; }
    bool cut() const { return texts_.cut; }
    // "read X of at most Y bytes", for a cut input.
    std::string cutNote() const;
    // Wall-clock seconds that reading and indexing took.
    double loadSeconds() const { return loadSeconds_; }

private:
    OpenedCorpus() = default;

    // The file a document is in: itself, unless an annotated file holds several documents.
    std::size_t fileOf(std::size_t document) const { return fileOf_.empty() ? document : fileOf_[document]; }
    // Maps the saved index request_ names as the corpus, with its
    // documents, and chooses those --where asks for; false with a one-line
    // `reason` when it cannot be opened or does not answer the request.
    // `warning` tells of sources changed since it was saved.
    bool openSaved(std::string &reason, std::string &warning);
    // Builds the corpus of texts that hold annotated files; false with a
    // one-line reason ("PATH:LINE: why") when one is ill-formed.
    bool buildAnnotated(const Progress &progress, std::string &reason);
    // Keeps the files whose documents meet request_.where; false, with a
    // one-line reason, when a condition is malformed or none is kept.
    bool keepDocumentsWhere(std::string &reason);

    CorpusRequest request_;
    LoadedTexts texts_;
    std::vector<std::string_view> views_;
    std::vector<std::uint32_t> fileOf_;  // per document, when some file holds several (see fileOf)
    std::unique_ptr<const Corpus> corpus_;
    std::string root_;
    std::size_t filesBeforeWhere_ = 0;
    std::shared_ptr<const DocumentSubset> within_;
    // A saved index's sources as they were saved, and where it was saved.
    std::vector<CorpusIndex::Source> sources_;
    std::string savedFrom_;
    double loadSeconds_ = 0;
    bool saved_ = false;
};
