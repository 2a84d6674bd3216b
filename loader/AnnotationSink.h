// AnnotationSink: what a reader of an annotated file tells as it reads: documents, positions with their layers' values, sentence ends.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The readers of annotated files (CoNLL-U, vertical files) parse; what the
// positions become is the sink's business (the corpus interns them). A
// reader calls the sink in text order and never after it has reported an
// error; the views it hands over are valid only during the call.
class AnnotationSink {
public:
    virtual ~AnnotationSink() = default;
    // A document starts within the file (CoNLL-U "# newdoc", a vertical
    // file's <text> or <doc>). Each file is a document of its own already:
    // the reader does not call this before the file's first position, and
    // the sink ignores a start that follows no position.
    virtual void startDocument() = 0;
    // One position: one value per layer, in the reader's layer order (the
    // first is the word). `separated` is false when the text writes this
    // token right after the one before (CoNLL-U SpaceAfter=No before it, a
    // vertical file's <g/>). `line`: the file's line, from 1.
    virtual void token(std::span<const std::string_view> values, bool separated, std::uint64_t line) = 0;
    // The sentence that the last position reported belongs to ends there
    // (nothing happens when no position came since the last end).
    virtual void endSentence() = 0;
};

// Hands every call on to `Target` (anything with the same three members,
// such as the corpus builder), so that a reader can fill what does not know
// the readers.
template <typename Target>
class ForwardingSink final : public AnnotationSink {
public:
    explicit ForwardingSink(Target &target) : target_(target) {}
    void startDocument() override { target_.startDocument(); }
    void token(std::span<const std::string_view> values, bool separated, std::uint64_t line) override
    {
        target_.token(values, separated, line);
    }
    void endSentence() override { target_.endSentence(); }

private:
    Target &target_;
};
