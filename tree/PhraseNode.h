// PhraseNode: one node of a phrase tree, with its label, its weight and the children it owns.
#pragma once

#include "ChildSource.h"
#include "Corpus.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A label is an optional literal text (a root's search text, byte for byte)
// and a run of corpus tokens, joined by single blanks; the text comes first
// (or last, for the root of a tree of what comes before a phrase). The run is kept
// as a span of positions and made into bytes only when label() is asked for,
// so a tree costs memory per node, not per token of its labels. A node with a
// span refers to its corpus, which must outlive it.
//
// The same tokens read as the text writes them (writtenLabel()) with one
// blank where the text separates two of them and none where they touch, as
// the occurrence that the span stands at has them: "king's house," where
// label() gives "king ' s house ,".
//
// Whatever its label, a node the tree builder made knows the ids of the
// tokens it stands for (tokenIds()): its span's, also when the label was
// spelled from other occurrences of the same folded tokens and is kept as
// text (TextPlace::WholeLabel).
class PhraseNode {
public:
    using Children = std::vector<std::unique_ptr<PhraseNode>>;
    enum class TextPlace : std::uint8_t {
        BeforeSpan,
        AfterSpan,
        // The text is the whole label; the span gives only the tokens' ids
        // (and, to the written label, where the text separates them). Its
        // search text, if it has one, is its start...
        WholeLabel,
        // ...or its end (the root of a tree of what precedes a phrase).
        WholeLabelTextLast,
    };

    // A node labelled with `text` exactly, weight 0, no children; its first
    // `searchTextLength` bytes are the search text (see searchTextLength()).
    explicit PhraseNode(std::string text);
    PhraseNode(std::string text, std::size_t searchTextLength);
    // A node labelled with the `length` tokens of `corpus` from `start`.
    PhraseNode(const Corpus &corpus, Corpus::Position start, std::uint32_t length);
    // A node labelled with `text` and the `length` tokens from `start`, the
    // text before or after them; or, with WholeLabel, labelled with `text`
    // alone, standing for those tokens (the same ids, spelled otherwise).
    // The text's first `searchTextLength` bytes (all of it unless given) are
    // its search text.
    PhraseNode(std::string text, const Corpus &corpus, Corpus::Position start, std::uint32_t length,
               TextPlace place = TextPlace::BeforeSpan, std::size_t searchTextLength = std::string::npos);
    // Destroys the whole subtree without recursion, however deep it is.
    ~PhraseNode();

    PhraseNode(const PhraseNode &) = delete;
    PhraseNode &operator=(const PhraseNode &) = delete;

    // The label's bytes: the text and the span's tokens joined by single
    // blanks (one blank between the two if both are present).
    std::string label() const;
    // Appends the label's bytes to `out`; same bytes as label().
    void appendLabel(std::string &out) const;
    // The first min(maxBytes, label size) bytes of the label, made without
    // making the rest: a label can be as long as the text.
    std::string labelPrefix(std::size_t maxBytes) const;
    // The last min(maxBytes, label size) bytes of the label, made the same way.
    std::string labelSuffix(std::size_t maxBytes) const;

    // The label as the text writes it: label()'s tokens, with one blank
    // between two of them where Corpus::separatedBefore says the text
    // separates them and none where they touch, at the occurrence the span
    // stands at (the first met); a label spelled from several occurrences
    // (WholeLabel) takes its tokens' spellings as label() has them and its
    // blanks from the span. A search text stays as typed, and meets the
    // span with one blank or none as the phrase meets that occurrence's
    // run in the text (before it, when the text comes after the span). A
    // node without a span (made from a text alone, or merged by
    // absorbOnlyChild from parts that are not one run of the text) reads as
    // label(). The outline, JSON and concordance keep label()'s blanks.
    std::string writtenLabel() const;
    // Appends writtenLabel()'s bytes to `out`.
    void appendWrittenLabel(std::string &out) const;
    // The first, or the last, min(maxBytes, size) bytes of writtenLabel(),
    // made without making the rest (as labelPrefix and labelSuffix).
    std::string writtenLabelPrefix(std::size_t maxBytes) const;
    std::string writtenLabelSuffix(std::size_t maxBytes) const;

    float weight() const { return weight_; }
    void setWeight(float weight) { weight_ = weight; }
    // How many occurrences the node stands for; shaping leaves it as it is.
    std::uint32_t count() const { return count_; }
    void setCount(std::uint32_t count) { count_ = count; }
    // Adds one occurrence to the count and 1.0 to the weight while the tree is being counted.
    void countOccurrence()
    {
        weight_ += 1.0f;
        ++count_;
    }

    // The children, made first if a child source still holds them. Reading
    // a tree may thus change it: a tree is not to be read from two threads.
    const Children &children() const
    {
        makeChildren();
        return children_;
    }
    Children &children()
    {
        makeChildren();
        return children_;
    }
    void appendChild(std::unique_ptr<PhraseNode> child)
    {
        makeChildren();
        children_.push_back(std::move(child));
    }
    // Leaves the children to `source`, which makes them when they are first
    // read. Requires a node without children.
    void setChildSource(std::shared_ptr<const ChildSource> source, const ChildSource::Branch &branch);
    // How many nodes the subtree holds, this one included; makes every one.
    std::size_t nodeCount() const;
    // Whether the children have been made (nodes without a source always have).
    bool childrenMade() const { return !childSource_; }

    // Merges the only child into this node: the label gains " " and the
    // child's label, the weight and count become the child's, and the child's children
    // become this node's. Requires exactly one child. Constant time when the
    // child's span continues this node's span in the corpus, spelled alike
    // (as growth makes them, unless folded tokens are spelled otherwise
    // there); otherwise the label is materialized once, and when the tokens
    // right before the child's span are this node's ones by their ids, the
    // node keeps that longer span as a WholeLabel. Either way the written
    // label takes its blanks from the child's occurrence.
    void absorbOnlyChild();

    // The label's parts: its text, and the span of corpus tokens that it
    // spells (none under WholeLabel).
    const std::string &text() const { return text_; }
    const Corpus *corpus() const { return corpus_; }
    Corpus::Position spanStart() const { return spanStart_; }
    std::uint32_t spanLength() const { return wholeLabel() ? 0 : spanLength_; }
    TextPlace textPlace() const { return textPlace_; }
    // Whether the text is the whole label (WholeLabel or WholeLabelTextLast).
    bool wholeLabel() const { return textPlace_ >= TextPlace::WholeLabel; }
    // How many bytes of the label the search text takes, at its start (at its
    // end for a text after the span or WholeLabelTextLast): a root's phrase
    // as typed (the same bytes start or end writtenLabel()), also when the
    // root keeps its whole label as literal text (its levels spelled from
    // different occurrences); 0 for a node below the root. Made from a text
    // alone or with a span, a node takes its text as its search text.
    std::size_t searchTextLength() const { return searchTextLength_; }

    // How many corpus tokens the node stands for, and their ids
    // (Corpus::tokenId: folded when the corpus folds case) appended to
    // `out` in the text's reading order. A root stands for its absorbed run
    // only: its phrase is the query's. A node labelled by text alone (made
    // from a text, or merged by absorbOnlyChild from parts that are not one
    // run of the text) stands for none.
    std::uint32_t tokenCount() const { return corpus_ != nullptr ? spanLength_ : 0; }
    void appendTokenIds(std::vector<Corpus::TokenId> &out) const;

private:
    void makeChildren() const
    {
        if (childSource_)
            makeChildrenFromSource();
    }
    void makeChildrenFromSource() const;
    // Calls take(join, body) for each part of the written label: a token,
    // or a text, and what stands before it (" " or nothing); in order, or
    // with `backward` from the last. Stops when take returns false.
    template <typename Take>
    void forEachWrittenPart(bool backward, Take &&take) const;

    std::string text_;
    const Corpus *corpus_ = nullptr;
    Corpus::Position spanStart_ = 0;
    std::uint32_t spanLength_ = 0;
    float weight_ = 0.0f;
    std::uint32_t count_ = 0;
    TextPlace textPlace_ = TextPlace::BeforeSpan;
    std::uint32_t searchTextLength_ = 0;  // fits beside textPlace_: no node grows for it
    mutable Children children_;
    mutable std::shared_ptr<const ChildSource> childSource_;
    ChildSource::Branch branch_;
};
