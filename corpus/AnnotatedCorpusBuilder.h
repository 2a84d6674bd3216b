// AnnotatedCorpusBuilder: makes a corpus of positions that arrive with a value per layer, as annotated files give them.
#pragma once

#include "Corpus.h"
#include "CorpusOptions.h"
#include "Progress.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Files are added one after another, each a document (or several, where it
// starts new ones). A file names its layers; files may name different ones:
// the corpus has every layer any file names, in first-named order, and a
// position whose file lacks a layer has the value "_" there (as CoNLL-U
// writes an empty field). The layer `options.show` names is the shown one
// (see Corpus::shownLayer): interned as tokens, folded when
// `options.foldCase` (by Unicode's simple case folding); labels of any
// layer but "word" are written with a blank between values. The files are
// UTF-8: the corpus's word rules are the Unicode ones where `options` asks
// for the byte rules (a plain text among the files is cut by them).
class AnnotatedCorpusBuilder {
public:
    explicit AnnotatedCorpusBuilder(CorpusOptions options);
    ~AnnotatedCorpusBuilder();

    // A new file starts, with these layers in its values' order. Its first
    // position starts a document (after a boundary, unless it is the first).
    void startFile(std::span<const std::string> layers);
    // A plain text file: its tokens, cut by the word rules, make the word
    // layer; every other layer is "_", and each line's last token ends no sentence.
    void addPlainFile(std::string_view bytes, const Progress &progress = {});
    // A document starts within the file; nothing happens before its first position.
    void startDocument();
    // One position of the current file: a value per layer of startFile's
    // list. `line`: its line in the file (from 1).
    void token(std::span<const std::string_view> values, bool separated, std::uint64_t line);
    // The last position added ends its sentence.
    void endSentence();

    // The positions so far (boundaries included).
    std::uint64_t positions() const { return positions_; }
    // Per document of the corpus so far: the file (counted from 0 in the
    // order started) it is in.
    const std::vector<std::uint32_t> &documentFiles() const { return documentFiles_; }

    // The corpus, indexed (both directions with `backwardToo`); the builder
    // is spent. Throws std::runtime_error with a one-line reason when no file
    // named the shown layer, std::length_error when the positions exceed
    // what 32 bits number, and Progress::Stopped when asked to stop.
    std::unique_ptr<Corpus> finish(bool backwardToo, const Progress &progress = {});

private:
    // The corpus's layer for a name, made (with "_" at every position so far) if new.
    std::size_t layerFor(const std::string &name);
    void pushValue(std::size_t layer, std::string_view value);
    // A boundary's value (noToken) in one layer, and a whole boundary position.
    void pushBoundaryValue(std::size_t layer);
    void addBoundary();
    // Adds a position (a boundary when `boundary`) to the arrays every
    // layer shares; the layers' values follow.
    void beginPosition(bool boundary, bool separated, std::uint64_t line);
    // The line index's entry for the token at p, on `line` of its file.
    void addLine(Corpus::Position p, std::uint64_t line);

    std::unique_ptr<Corpus> corpus_;
    bool shownNamed_ = false;
    bool documentEmpty_ = true;  // no position since the document started
    std::vector<std::size_t> fileLayers_;  // the current file's layers in the corpus
    std::vector<char> filled_;             // per corpus layer: given a value at the current position
    std::string folded_;
    std::uint64_t positions_ = 0;
    Corpus::Position lastLinePosition_ = UINT32_MAX;  // the last token given a line, and that line
    std::uint64_t lastLine_ = 0;
    std::vector<std::uint32_t> documentFiles_;  // per document: the file it is in
    std::uint32_t files_ = 0;
};
