#include "PhraseNode.h"

#include <algorithm>
#include <cassert>
#include <cstdint>

namespace {

std::uint32_t lengthOfText(std::size_t size)
{
    return static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
}

std::string_view joinOf(bool separated)
{
    return separated ? std::string_view(" ") : std::string_view();
}

// Appends the first bytes of `piece` to `out` while it is shorter than maxBytes.
void addUpTo(std::string &out, std::string_view piece, std::size_t maxBytes)
{
    out += piece.substr(0, maxBytes - std::min(maxBytes, out.size()));
}

// Appends the last bytes of `piece`, reversed, while `out` is shorter than maxBytes.
void addReversedUpTo(std::string &out, std::string_view piece, std::size_t maxBytes)
{
    const std::size_t take = std::min(piece.size(), maxBytes - std::min(maxBytes, out.size()));
    out.append(piece.rbegin(), piece.rbegin() + static_cast<std::ptrdiff_t>(take));
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

template <typename Take>
void PhraseNode::forEachWrittenPart(bool backward, Take &&take) const
{
    if (corpus_ == nullptr) {
        take(std::string_view(), std::string_view(text_));
        return;
    }
    const Corpus &corpus = *corpus_;
    if (!wholeLabel()) {
        // The text, then the span's tokens (or the other way round), each
        // token read with what separates it from the one before.
        const std::uint32_t length = spanLength_;
        const bool textFirst = textPlace_ == TextPlace::BeforeSpan;
        const bool hasText = !text_.empty();
        const auto token = [&](std::uint32_t i) {
            const Corpus::Position p = spanStart_ + i;
            const bool joined = i > 0 || (textFirst && hasText);
            return take(joined ? joinOf(corpus.separatedBefore(p)) : std::string_view(), corpus.token(p));
        };
        const auto text = [&] {
            // A text after the span meets it as the phrase meets the run before it.
            const bool joined = !textFirst && length > 0;
            return take(joined ? joinOf(corpus.separatedBefore(spanStart_ + length)) : std::string_view(),
                        std::string_view(text_));
        };
        if (!backward) {
            if (textFirst && hasText && !text())
                return;
            for (std::uint32_t i = 0; i < length; ++i) {
                if (!token(i))
                    return;
            }
            if (!textFirst && hasText)
                text();
            return;
        }
        if (!textFirst && hasText && !text())
            return;
        for (std::uint32_t i = length; i > 0; --i) {
            if (!token(i - 1))
                return;
        }
        if (textFirst && hasText)
            text();
        return;
    }

    // A whole label: its search text, and the spelled tokens that its blanks
    // part, each blank the k-th between the span's tokens (a token holds no
    // blank; should a damaged index's tokens hold some, those beyond the
    // span's stay blanks).
    const bool searchLast = textPlace_ == TextPlace::WholeLabelTextLast;
    const std::string_view whole(text_);
    const std::size_t searched = std::min<std::size_t>(searchTextLength_, whole.size());
    const std::string_view search = searchLast ? whole.substr(whole.size() - searched) : whole.substr(0, searched);
    std::string_view spelled = searchLast ? whole.substr(0, whole.size() - searched) : whole.substr(searched);
    std::string_view junction;
    if (!search.empty() && !spelled.empty() && (searchLast ? spelled.back() : spelled.front()) == ' ') {
        junction = joinOf(corpus.separatedBefore(spanStart_ + (searchLast ? spanLength_ : 0)));
        spelled = searchLast ? spelled.substr(0, spelled.size() - 1) : spelled.substr(1);
    }
    const auto joinBefore = [&](std::size_t k) {
        if (k == 0)
            return searchLast ? std::string_view() : junction;
        return joinOf(k >= spanLength_ || corpus.separatedBefore(static_cast<Corpus::Position>(spanStart_ + k)));
    };
    const bool hasSearch = !search.empty();
    if (!backward) {
        if (!searchLast && hasSearch && !take(std::string_view(), search))
            return;
        std::size_t k = 0;
        for (std::size_t from = 0;; ++k) {
            const std::size_t blank = spelled.find(' ', from);
            if (!take(joinBefore(k), spelled.substr(from, blank - from)))
                return;
            if (blank == std::string_view::npos)
                break;
            from = blank + 1;
        }
        if (searchLast && hasSearch)
            take(junction, search);
        return;
    }
    if (searchLast && hasSearch && !take(junction, search))
        return;
    std::size_t k = static_cast<std::size_t>(std::count(spelled.begin(), spelled.end(), ' '));
    for (std::size_t end = spelled.size();; --k) {
        const std::size_t blank = end == 0 ? std::string_view::npos : spelled.rfind(' ', end - 1);
        const std::size_t from = blank == std::string_view::npos ? 0 : blank + 1;
        if (!take(joinBefore(k), spelled.substr(from, end - from)))
            return;
        if (blank == std::string_view::npos)
            break;
        end = blank;
    }
    if (!searchLast && hasSearch)
        take(std::string_view(), search);
}

std::string PhraseNode::writtenLabel() const
{
    std::string out;
    appendWrittenLabel(out);
    return out;
}

void PhraseNode::appendWrittenLabel(std::string &out) const
{
    forEachWrittenPart(false, [&out](std::string_view join, std::string_view body) {
        out += join;
        out += body;
        return true;
    });
}

std::string PhraseNode::writtenLabelPrefix(std::size_t maxBytes) const
{
    std::string out;
    forEachWrittenPart(false, [&](std::string_view join, std::string_view body) {
        addUpTo(out, join, maxBytes);
        addUpTo(out, body, maxBytes);
        return out.size() < maxBytes;
    });
    return out;
}

std::string PhraseNode::writtenLabelSuffix(std::size_t maxBytes) const
{
    // Gathered back to front, reversed at the end.
    std::string out;
    forEachWrittenPart(true, [&](std::string_view join, std::string_view body) {
        addReversedUpTo(out, body, maxBytes);
        addReversedUpTo(out, join, maxBytes);
        return out.size() < maxBytes;
    });
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
    // are our own tokens: then the merged label is one longer span. (Its
    // written label then takes its blanks from the child's occurrence, as
    // the builder's labels take theirs from the deepest node's.)
    bool contiguous = textPlace_ == TextPlace::BeforeSpan && child->text_.empty() && child->corpus_ != nullptr
                      && (spanLength_ == 0 || (child->corpus_ == corpus_ && child->spanStart_ >= spanLength_));
    if (contiguous && spanLength_ > 0) {
        const Corpus::Position before = child->spanStart_ - spanLength_;
        for (std::uint32_t i = 0; i < spanLength_ && contiguous; ++i)
            contiguous = corpus_->spellingId(before + i) == corpus_->spellingId(spanStart_ + i);
    }
    // Otherwise (folded tokens spelled otherwise there), when the tokens
    // before the child's span are ours by their ids, the node stands for
    // that longer span still, spelled as the parts were: a whole label.
    bool sameIds = !contiguous && corpus_ != nullptr && child->corpus_ == corpus_
                   && (!text_.empty() || spanLength_ > 0)
                   && (textPlace_ == TextPlace::WholeLabel
                       || (textPlace_ == TextPlace::BeforeSpan && searchTextLength_ == text_.size()))
                   && child->searchTextLength_ == 0 && child->textPlace_ != TextPlace::AfterSpan
                   && (child->text_.empty() || child->wholeLabel()) && child->spanStart_ >= spanLength_;
    for (std::uint32_t i = 0; i < spanLength_ && sameIds; ++i)
        sameIds = corpus_->tokenId(child->spanStart_ - spanLength_ + i) == corpus_->tokenId(spanStart_ + i);
    if (contiguous) {
        corpus_ = child->corpus_;
        spanStart_ = child->spanStart_ - spanLength_;
        spanLength_ += child->spanLength_;
    } else {
        std::string merged = label();
        merged += ' ';
        child->appendLabel(merged);
        text_ = std::move(merged);
        if (sameIds) {
            spanStart_ = child->spanStart_ - spanLength_;
            spanLength_ += child->spanLength_;
            textPlace_ = TextPlace::WholeLabel;
        } else {
            corpus_ = nullptr;
            spanStart_ = 0;
            spanLength_ = 0;
        }
    }
    weight_ = child->weight_;
    count_ = child->count_;
    children_ = std::move(child->children_);
    childSource_ = std::move(child->childSource_);
    branch_ = child->branch_;
}
