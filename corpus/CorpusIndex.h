// CorpusIndex: saves a corpus with both its directions as an index file, opens one as a corpus, and checks one whole.
#pragma once

#include "Corpus.h"
#include "CorpusOptions.h"
#include "Progress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The layout is docs/index-format.md's (see IndexFormat.h). Saving writes
// every array a question reads, so opening maps the file and reads, of what
// grows with the corpus, only the token ids, once, to check them: a question
// then reads the pages it touches.
class CorpusIndex {
public:
    // A file the corpus was read from, as it was when the index was saved.
    struct Source {
        std::string name;           // the document's path as the loader named it
        std::uint64_t size = 0;     // on disk
        std::int64_t modified = 0;  // modification time, nanoseconds since 1970
        // Its metadata ("title", "year", ...), each field once, in the order
        // found; an index keeps no empty value and no zero byte.
        std::vector<std::pair<std::string, std::string>> fields = {};
    };

    // What open() gives: the corpus (both directions) and its sources, or why not.
    struct Opened {
        std::unique_ptr<const Corpus> corpus;
        std::vector<Source> sources;  // one per document, in corpus order
        std::string savedFrom;        // the working folder when it was saved
        // The file or folder the corpus was read from, as it was named when
        // saving (the documents' names start with it); none in an index
        // saved before indexes kept it.
        std::optional<std::string> openedPath;
        std::string reason;           // one line, when there is no corpus
    };

    // Writes `corpus`, which must have its backward index (hasBackward()),
    // its documents' `sources` (one per document) and `openedPath`, the file
    // or folder it was read from, to `path`, whole or not at all (see
    // IndexWriter). `progress` hears the bytes written and may stop the
    // writing (Progress::Stopped is thrown; nothing is left). False, with a
    // one-line `reason`, if the file cannot be written.
    static bool save(const Corpus &corpus, std::span<const Source> sources, const std::string &openedPath,
                     const std::string &path, const Progress &progress, std::string &reason);

    // Maps the index at `path` and checks what every question relies on:
    // in time that does not grow with the corpus, IndexFile's checks, that
    // every array's size agrees with the counts, the document boundaries,
    // the token table's ends and its one-byte and stop ids, the Unicode
    // version where the word rules read Unicode; and in one pass over the
    // token ids (and spelling ids) on both cores, that every id is below
    // the vocabulary and the boundary id stands exactly at the document
    // boundaries. So every id the corpus hands out names a token. What is
    // not checked here (the suffix and lcp arrays, stops, line index) is
    // kept from harm where it is read: a damaged array gives wrong trees at
    // worst.
    static Opened open(const std::string &path);

    // Reads every byte of the index at `path`: every checksum, and every
    // rule the arrays keep (ids in range, boundaries where the ids say,
    // token offsets in order and the hash slots finding every token, each
    // suffix array a permutation sorted as its lcp array says, the block
    // minima and stops as the arrays give them). Returns "" when all hold,
    // else the first fault in one line.
    static std::string check(const std::string &path);

    // The sources that changed or are gone since `opened` was saved (one
    // stat per file, see stateOf), and the name of the first.
    struct Staleness {
        std::size_t changed = 0;
        std::string first;
    };
    static Staleness staleness(const Opened &opened);

    // Where the source named `name` is now: a relative name is taken from
    // `savedFrom`, the folder the index was saved in.
    static std::string sourcePath(const std::string &savedFrom, const std::string &name);
    // Whether `source` is as it was saved (the same size and modification
    // time at sourcePath), changed since, or gone (cannot be statted).
    enum class SourceState { Unchanged, Changed, Gone };
    static SourceState stateOf(const Source &source, const std::string &savedFrom);

    // The versions the Unicode word rules depend on, as this program runs
    // ("15.0", "72.1").
    static std::string unicodeVersion();
    static std::string icuVersion();
    // How the options read on the command line ("--unicode --ignore-case",
    // "the byte rules" when there are none).
    static std::string describe(const CorpusOptions &options);
};
