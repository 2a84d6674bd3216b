#include "PhraseNode.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

namespace {

std::uint32_t lengthOfText(std::size_t size)
{
    return static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
}

} // namespace

PhraseNode::PhraseNode(std::string text) : PhraseNode(std::move(text), std::string::npos) {}

PhraseNode::PhraseNode(std::string text, std::size_t searchTextLength)
    : text_(std::move(text)), searchTextLength_(lengthOfText(std::min(searchTextLength, text_.size())))
{
}

PhraseNode::PhraseNode(const Corpus &corpus, Corpus::Position start, std::uint32_t length)
    : corpus_(&corpus), spanStart_(start), spanLength_(length)
{
}

PhraseNode::PhraseNode(std::string text, const Corpus &corpus, Corpus::Position start, std::uint32_t length,
                       TextPlace place, std::size_t searchTextLength)
    : text_(std::move(text)), corpus_(&corpus), spanStart_(start), spanLength_(length), textPlace_(place),
      searchTextLength_(lengthOfText(std::min(searchTextLength, text_.size())))
{
}

PhraseNode::~PhraseNode()
{
    // Children are detached onto a work stack before they die, so no
    // destructor ever runs with a subtree below it.
    Children pending = std::move(children_);
    while (!pending.empty()) {
        std::unique_ptr<PhraseNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &child : node->children_)
            pending.push_back(std::move(child));
        node->children_.clear();
    }
}

void PhraseNode::setChildSource(std::shared_ptr<const ChildSource> source, const ChildSource::Branch &branch)
{
    assert(children_.empty());
    childSource_ = std::move(source);
    branch_ = branch;
}

void PhraseNode::makeChildrenFromSource() const
{
    // Made aside, so that a failure (out of memory) leaves the node as it was.
    Children made;
    childSource_->makeChildren(branch_, made);
    children_ = std::move(made);
    childSource_.reset();
}

std::size_t PhraseNode::nodeCount() const
{
    std::size_t count = 0;
    std::vector<const PhraseNode *> pending{this};
    while (!pending.empty()) {
        const PhraseNode *node = pending.back();
        pending.pop_back();
        ++count;
        for (const auto &child : node->children())
            pending.push_back(child.get());
    }
    return count;
}

std::string PhraseNode::label() const
{
    std::string out;
    appendLabel(out);
    return out;
}

void PhraseNode::appendLabel(std::string &out) const
{
    const std::uint32_t length = spanLength();
    const bool textFirst = textPlace_ == TextPlace::BeforeSpan;
    if (textFirst)
        out += text_;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (i > 0 || (textFirst && !text_.empty()))
            out += ' ';
        out += corpus_->token(spanStart_ + i);
    }
    if (!textFirst) {
        if (length > 0 && !text_.empty())
            out += ' ';
        out += text_;
    }
}

std::string PhraseNode::labelPrefix(std::size_t maxBytes) const
{
    const std::uint32_t length = spanLength();
    std::string out;
    // Only what is asked for: one token can be the whole text.
    const auto add = [&out, maxBytes](std::string_view piece) {
        out += piece.substr(0, maxBytes - std::min(maxBytes, out.size()));
    };
    const bool textFirst = textPlace_ == TextPlace::BeforeSpan;
    if (textFirst)
        add(text_);
    for (std::uint32_t i = 0; i < length && out.size() < maxBytes; ++i) {
        if (i > 0 || (textFirst && !text_.empty()))
            add(" ");
        add(corpus_->token(spanStart_ + i));
    }
    if (!textFirst && out.size() < maxBytes) {
        if (length > 0 && !text_.empty())
            add(" ");
        add(text_);
    }
    return out;
}

std::string PhraseNode::labelSuffix(std::size_t maxBytes) const
{
    const std::uint32_t length = spanLength();
    // Gathered back to front, reversed at the end.
    std::string out;
    const auto add = [&out, maxBytes](std::string_view piece) {
        const std::size_t take = std::min(piece.size(), maxBytes - std::min(maxBytes, out.size()));
        out.append(piece.rbegin(), piece.rbegin() + static_cast<std::ptrdiff_t>(take));
    };
    const bool textFirst = textPlace_ == TextPlace::BeforeSpan;
    if (!textFirst)
        add(text_);
    for (std::uint32_t i = length; i > 0 && out.size() < maxBytes; --i) {
        if (i < length || (!textFirst && !text_.empty()))
            add(" ");
        add(corpus_->token(spanStart_ + i - 1));
    }
    if (textFirst && out.size() < maxBytes) {
        if (length > 0 && !text_.empty())
            add(" ");
        add(text_);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

void PhraseNode::appendTokenIds(std::vector<Corpus::TokenId> &out) const
{
    for (std::uint32_t i = 0; i < tokenCount(); ++i)
        out.push_back(corpus_->tokenId(spanStart_ + i));
}

void PhraseNode::absorbOnlyChild()
{
    makeChildren();
    assert(children_.size() == 1);
    std::unique_ptr<PhraseNode> child = std::move(children_.front());
    children_.clear();

    // The child's tokens continue ours when the tokens right before its span
    // are our own tokens: then the merged label is one longer span.
    bool contiguous = textPlace_ == TextPlace::BeforeSpan && child->text_.empty() && child->corpus_ != nullptr
                      && (spanLength_ == 0 || (child->corpus_ == corpus_ && child->spanStart_ >= spanLength_));
    if (contiguous && spanLength_ > 0) {
        const Corpus::Position before = child->spanStart_ - spanLength_;
        for (std::uint32_t i = 0; i < spanLength_ && contiguous; ++i)
            contiguous = corpus_->spellingId(before + i) == corpus_->spellingId(spanStart_ + i);
    }
    if (contiguous) {
        corpus_ = child->corpus_;
        spanStart_ = child->spanStart_ - spanLength_;
        spanLength_ += child->spanLength_;
    } else {
        std::string merged = label();
        merged += ' ';
        child->appendLabel(merged);
        text_ = std::move(merged);
        corpus_ = nullptr;
        spanStart_ = 0;
        spanLength_ = 0;
    }
    weight_ = child->weight_;
    count_ = child->count_;
    children_ = std::move(child->children_);
    childSource_ = std::move(child->childSource_);
    branch_ = child->branch_;
}
