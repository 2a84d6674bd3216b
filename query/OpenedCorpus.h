// OpenedCorpus: a corpus opened from a path, with the documents it was made of and what reading it cost.
#pragma once

#include "Corpus.h"
#include "CorpusRequest.h"
#include "LoadedTexts.h"
#include "Progress.h"

#include <cstdint>
#include <memory>
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
    };

    // Reads `request.path` (a file or a folder, see loadTexts) and indexes it
    // by `request.options`. Refuses, with a one-line reason, what cannot be
    // read, an input whose index would not fit in this machine's memory, and
    // a text with more tokens than the index's 32-bit positions can number.
    // `progress` hears the reading and the indexing and may stop either;
    // nothing is kept then. Never throws but std::bad_alloc outside indexing.
    static Outcome open(const CorpusRequest &request, const Progress &progress = {});

    OpenedCorpus(const OpenedCorpus &) = delete;
    OpenedCorpus &operator=(const OpenedCorpus &) = delete;

    const Corpus &corpus() const { return *corpus_; }
    const CorpusRequest &request() const { return request_; }

    // The documents in corpus order: each one's path as the loader named it
    // (raw bytes) and its text.
    std::size_t documentCount() const { return texts_.documents.size(); }
    const std::string &path(std::size_t document) const { return texts_.documents[document].path; }
    std::span<const std::string_view> texts() const { return views_; }

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

    CorpusRequest request_;
    LoadedTexts texts_;
    std::vector<std::string_view> views_;
    std::unique_ptr<const Corpus> corpus_;
    double loadSeconds_ = 0;
};
