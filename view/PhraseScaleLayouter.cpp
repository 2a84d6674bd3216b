#include "PhraseScaleLayouter.h"

#include "LabelText.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <queue>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The root's size: this share of the canvas height at zoom 1, within bounds.
constexpr double rootHeightShare = 0.055;
constexpr double rootLeastPixels = 14.0;
constexpr double rootMostPixels = 42.0;
// A column needs at least this many least sizes of room to show a label.
constexpr double leastRoomInSizes = 2.5;
constexpr std::string_view ellipsis = "\xE2\x80\xA6";

// The scale a zoom gives the sizes: magnified canvases show more branches.
double typeScale(double zoom)
{
    return std::sqrt(std::max(zoom, 1.0));
}

// "1,906": a count as a reader reads it.
std::string grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

// A label's words (runs between blanks) as the text writes them (UTF-8), read from the side the
// label is read from, and whether the label goes on past them.
struct Words {
    std::vector<std::string> words;
    bool goesOn = false;
};

Words wordsOf(const PhraseNode &node, std::size_t most, bool fromEnd, LabelEncoding encoding)
{
    const std::string part = fromEnd ? node.writtenLabelSuffix(most + 1) : node.writtenLabelPrefix(most + 1);
    Words out;
    std::string_view bytes = part;
    if (part.size() > most) {
        out.goesOn = true;
        bytes = fromEnd ? bytes.substr(1) : bytes.substr(0, most);
    }
    std::string text;
    appendLabelUtf8(text, bytes, encoding);
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t blank = std::min(text.find(' ', at), text.size());
        if (blank > at)
            out.words.emplace_back(text.substr(at, blank - at));
        at = blank + 1;
    }
    // A word the bytes cut in two is not shown: the cut is after a whole word.
    if (out.goesOn && !out.words.empty() && out.words.size() > 1)
        fromEnd ? void(out.words.erase(out.words.begin())) : out.words.pop_back();
    if (fromEnd)
        std::reverse(out.words.begin(), out.words.end());
    return out;
}

// The start of each UTF-8 character of `word`, and its end.
std::vector<std::size_t> characterBounds(std::string_view word)
{
    std::vector<std::size_t> bounds;
    for (std::size_t at = 0; at < word.size();) {
        bounds.push_back(at);
        bool wellFormed = true;
        at += static_cast<unsigned char>(word[at]) < 0x80 ? 1 : utf8Sequence(word.substr(at), wellFormed);
    }
    bounds.push_back(word.size());
    return bounds;
}

// Joins the first `count` words (in reading order: from the label's start, or
// its end when `fromEnd`), with "…" where words were left out.
std::string joined(const std::vector<std::string> &words, std::size_t count, bool cut, bool fromEnd)
{
    std::string out;
    if (fromEnd) {
        if (cut)
            out += ellipsis;
        for (std::size_t i = count; i-- > 0;) {
            out += words[i];
            if (i > 0)
                out += ' ';
        }
        return out;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += ' ';
        out += words[i];
    }
    if (cut)
        out += ellipsis;
    return out;
}

// The label of `node` as drawn at `pixelSize` within `allowed` pixels:
// whole, or cut after a word (after a character, when its first word
// alone is too wide) with "…"; empty when not even that fits.
std::string fitLabel(const LayoutRequest &request, const PhraseNode &node, std::uint32_t pixelSize, double allowed,
                 bool fromEnd)
{
const auto textWidth = [&request](const std::string &text, std::uint32_t size) {
    return request.textWidth ? request.textWidth(text, size) : 8.0 + 0.55 * size * static_cast<double>(text.size());
};
    // At least a quarter of the pixel size a character: at most this many bytes can show.
    const double characters = allowed / std::max(0.25 * pixelSize, 1.0);
    const auto most = static_cast<std::size_t>(std::clamp(4.0 * characters + 16.0, 32.0, 1e6));
    const Words words = wordsOf(node, most, fromEnd, request.encoding);
    const std::size_t all = words.words.size();
    if (!words.goesOn && textWidth(joined(words.words, all, false, fromEnd), pixelSize) <= allowed)
        return joined(words.words, all, false, fromEnd);
    // The most words that fit with "…".
    std::size_t low = 0, high = all;
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        if (textWidth(joined(words.words, mid, true, fromEnd), pixelSize) <= allowed)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 || all == 0)
        return low > 0 ? joined(words.words, low, true, fromEnd) : std::string();
    // The first word alone is too wide: as many of its characters as fit.
    const std::string &word = words.words.front();
    const std::vector<std::size_t> bounds = characterBounds(word);
    const auto part = [&](std::size_t n) {
        const std::string piece =
            fromEnd ? word.substr(bounds[bounds.size() - 1 - n]) : word.substr(0, bounds[n]);
        return fromEnd ? std::string(ellipsis) + piece : piece + std::string(ellipsis);
    };
    std::size_t fits = 0, top = bounds.size() - 1;
    while (fits < top) {
        const std::size_t mid = (fits + top + 1) / 2;
        if (textWidth(part(mid), pixelSize) <= allowed)
            fits = mid;
        else
            top = mid - 1;
    }
    return fits > 0 ? part(fits) : std::string();
}

// Lays out one side in two passes. First it chooses what to draw, best
// first: the heaviest continuation not yet drawn whose parent is drawn,
// wherever it stands, as long as the tree still fits the canvas's height
// (each drawn node needing its label's height, or the heights its drawn
// continuations need together, with a line for a left-out entry) and its
// column the canvas's width; a parent's continuations are drawn as a
// heaviest-first prefix. Then it places them: a node's band is shared by its
// continuations, each given what it needs and the rest by their counts,
// every label in the middle of its slot.
class Builder {
public:
    Builder(const LayoutRequest &request, const TreeLayouter::Side &side, TreeLayouter::Measurer &measure,
            std::vector<TreeLayout::Item> &items)
        : request_(request), side_(side), measure_(measure), items_(items),
          height_(static_cast<double>(std::max(request.height, 0))), width_(side.width),
          labelCap_(PhraseScaleLayouter::labelWidthShare * request.width),
          least_(static_cast<std::uint32_t>(PhraseScaleLayouter::leastPixels * typeScale(request.zoom))),
          rootCount_(std::max<std::uint64_t>(side.root->count(), 1))
    {
    }

    void run()
    {
        placeRoot();
        choose();
        place();
    }

private:
    // A drawn node.
    struct Drawn {
        const PhraseNode *node = nullptr;
        std::size_t parent = 0;  // index in drawn_; the root is its own parent
        std::uint32_t level = 0;
        TreeLayout::Label label;
        double need = 0;              // the height it and what is drawn of its continuations take
        double kidsNeed = 0;          // the sum of its drawn continuations' needs
        std::vector<std::size_t> kids;  // drawn continuations, heaviest first
        std::size_t kept = 0;         // continuations the pruning keeps
        std::uint64_t keptCount = 0;  // their occurrences
        bool closed = false;          // no more of its continuations may be drawn
        bool room = false;            // its continuations' column has room
    };
    // A band of the canvas's height.
    struct Slot {
        double top;
        double bottom;
    };
    struct Candidate {
        std::uint64_t count;
        std::uint32_t level;
        std::size_t order;  // first come, first served among equals
        const PhraseNode *node;
        std::size_t parent;
        bool operator<(const Candidate &other) const
        {
            // The priority queue pops the largest: the heaviest, the nearest the root, the first.
            if (count != other.count)
                return count < other.count;
            if (level != other.level)
                return level > other.level;
            return order > other.order;
        }
    };

    double unitHeight() const { return height_ / std::max(request_.zoom, 1.0); }

    double gapAfter(const TreeLayout::Size &box) const
    {
        return std::max(12.0 * typeScale(request_.zoom), box.height);
    }

    std::uint32_t sizeOf(const PhraseNode &node) const
    {
        return PhraseScaleLayouter::pixelSize(node.count(), rootCount_, unitHeight(), request_.zoom);
    }

    TreeLayout::Size measureText(const PhraseNode &node, const std::string &text, std::uint32_t pixelSize,
                                 TreeLayout::Side side, double room = TreeLayout::unbounded)
    {
        LabelMeasure label;
        label.node = &node;
        label.text = &text;
        label.pixelSize = pixelSize;
        label.room = room;
        label.side = side;
        label.mirrored = side_.mirrored;
        return measure_(label);
    }

    double textWidth(const std::string &text, std::uint32_t pixelSize) const
    {
        return request_.textWidth ? request_.textWidth(text, pixelSize)
                                  : 8.0 + 0.55 * pixelSize * static_cast<double>(text.size());
    }

    std::string fit(const PhraseNode &node, std::uint32_t pixelSize, double allowed) const
    {
        return fitLabel(request_, node, pixelSize, allowed, side_.mirrored);
    }

    // The height of a line at `pixelSize`, as a label of one line is drawn
    // (a left-out entry's: its text changes, not its height).
    double lineHeight(std::uint32_t pixelSize)
    {
        auto found = lineHeights_.find(pixelSize);
        if (found == lineHeights_.end()) {
            const std::string probe = PhraseScaleLayouter::moreText(1, 1);
            found = lineHeights_.emplace(pixelSize, measureText(*side_.label, probe, pixelSize, side_.side).height).first;
        }
        return found->second;
    }

    double columnAfter(const Drawn &drawn) const
    {
        return drawn.label.x + drawn.label.size.width + gapAfter(drawn.label.size);
    }

    // A node's need from its label and its continuations' needs.
    double needOf(const Drawn &drawn, double kidsNeed, std::size_t kids)
    {
        const double more = kids < drawn.kept && drawn.room ? lineHeight(least_) : 0.0;
        return std::max(drawn.label.size.height, kidsNeed + more);
    }

    void placeRoot()
    {
        const PhraseNode &rootLabel = *side_.label;
        Drawn root;
        root.node = side_.root;
        TreeLayout::Label &label = root.label;
        label.node = &rootLabel;
        label.pixelSize = PhraseScaleLayouter::pixelSize(rootCount_, rootCount_, unitHeight(), request_.zoom);
        label.count = rootLabel.count();
        if (side_.rootBox) {
            label.size = *side_.rootBox;
            label.measureIndex = side_.rootMeasureIndex;
            if (side_.middleText)
                label.text = *side_.middleText;
        } else {
            label.text = fit(rootLabel, label.pixelSize, std::min(width_, 1.5 * labelCap_));
            label.size = measureText(rootLabel, label.text, label.pixelSize, TreeLayout::Side::Root);
            label.measureIndex = measure_.last();
        }
        drawn_.push_back(std::move(root));
        open(0);
        drawn_[0].need = needOf(drawn_[0], 0.0, 0);
    }

    // Offers the continuations of drawn node `index` as candidates.
    void open(std::size_t index)
    {
        Drawn &drawn = drawn_[index];
        const TreePruning &pruning = request_.pruning;
        const std::uint32_t level = drawn.level + 1;
        drawn.room = width_ - columnAfter(drawn) >= leastRoomInSizes * least_;
        if (!pruning.keepsBelow(level - 1))
            return;
        for (const auto &child : drawn.node->children()) {
            if (!pruning.keeps(*child, level))
                continue;
            ++drawn.kept;
            drawn.keptCount += child->count();
            if (drawn.room)
                candidates_.push({child->count(), level, order_++, child.get(), index});
        }
        if (!drawn.room)
            drawn.closed = true;
    }

    void choose()
    {
        std::size_t refusals = 0;
        while (!candidates_.empty() && refusals < 256) {
            const Candidate candidate = candidates_.top();
            candidates_.pop();
            Drawn &parent = drawn_[candidate.parent];
            if (parent.closed)
                continue;
            const PhraseNode &node = *candidate.node;
            const std::uint32_t pixelSize = sizeOf(node);
            // First by the height of a line at its size, then as measured.
            if (!admits(candidate.parent, lineHeight(pixelSize))) {
                parent.closed = true;
                ++refusals;
                continue;
            }
            const double x = columnAfter(parent);
            Drawn drawn;
            drawn.node = &node;
            drawn.parent = candidate.parent;
            drawn.level = candidate.level;
            TreeLayout::Label &label = drawn.label;
            label.node = &node;
            label.pixelSize = pixelSize;
            label.text = fit(node, pixelSize, std::min(width_ - x, labelCap_));
            if (label.text.empty()) {
                parent.closed = true;
                continue;
            }
            label.size = measureText(node, label.text, pixelSize, side_.side, width_ - x);
            label.measureIndex = measure_.last();
            if (!admits(candidate.parent, label.size.height)) {
                parent.closed = true;
                ++refusals;
                continue;
            }
            refusals = 0;
            label.x = x;
            label.side = side_.side;
            label.level = candidate.level;
            label.count = node.count();
            drawn.need = label.size.height;
            const std::size_t index = drawn_.size();
            drawn_.push_back(std::move(drawn));
            admit(drawn_[index].parent, index);
            open(index);
            // Its own continuations' left-out entry may make it need more.
            update(index);
        }
    }

    // The needs from `at` up, if `extra` more were needed by a new
    // continuation of `at`: whether the root's still fits the canvas.
    bool admits(std::size_t at, double extra)
    {
        double kidsNeed = drawn_[at].kidsNeed + extra;
        std::size_t kids = drawn_[at].kids.size() + 1;
        for (;;) {
            const Drawn &drawn = drawn_[at];
            const double need = needOf(drawn, kidsNeed, kids);
            if (at == 0)
                return need <= height_ + 1e-9;
            if (need == drawn.need)
                return true;  // nothing above changes
            const Drawn &up = drawn_[drawn.parent];
            kidsNeed = up.kidsNeed - drawn.need + need;
            kids = up.kids.size();
            at = drawn.parent;
        }
    }

    void admit(std::size_t parent, std::size_t index)
    {
        drawn_[parent].kids.push_back(index);
        drawn_[parent].kidsNeed += drawn_[index].need;
        update(parent);
    }

    // Recomputes the needs from `at` up to the root.
    void update(std::size_t at)
    {
        for (;;) {
            Drawn &drawn = drawn_[at];
            const double need = needOf(drawn, drawn.kidsNeed, drawn.kids.size());
            const double change = need - drawn.need;
            drawn.need = need;
            if (at == 0 || change == 0)
                return;
            drawn_[drawn.parent].kidsNeed += change;
            at = drawn.parent;
        }
    }

    bool bandSeen(double top, double bottom) const
    {
        return bottom >= side_.visible.top && top <= side_.visible.bottom;
    }

    // Places every drawn node in its band, depth first in drawing order.
    void place()
    {
        struct Frame {
            std::size_t node;
            std::vector<Slot> slots;  // its continuations', then its left-out entry's
            std::size_t next;
        };
        Drawn &root = drawn_[0];
        root.label.y = (height_ - root.label.size.height) / 2;
        items_.push_back(root.label);
        std::vector<Frame> frames;
        frames.push_back({0, share(0, 0.0, height_), 0});
        while (!frames.empty()) {
            Frame &frame = frames.back();
            const Drawn &parent = drawn_[frame.node];
            const TreeLayout::Point anchor{parent.label.x + parent.label.size.width,
                                           parent.label.y + parent.label.size.height / 2};
            if (frame.next >= frame.slots.size()) {
                frames.pop_back();
                continue;
            }
            const std::size_t at = frame.next++;
            const Slot slot = frame.slots[at];
            if (at == parent.kids.size()) {
                emitMore(frame.node, slot, anchor);
                continue;
            }
            const std::size_t index = parent.kids[at];
            // `frame` may dangle from here on: frames may grow.
            Drawn &kid = drawn_[index];
            kid.label.y = slot.top + (slot.bottom - slot.top - kid.label.size.height) / 2;
            if (emit(kid.label, slot, anchor))
                frames.push_back({index, share(index, slot.top, slot.bottom), 0});
        }
    }

    // Shares the band [top, bottom) of drawn node `index` among its drawn
    // continuations and its left-out entry: each what it needs, the rest by
    // their counts.
    std::vector<Slot> share(std::size_t index, double top, double bottom)
    {
        const Drawn &drawn = drawn_[index];
        std::vector<Slot> slots;
        const bool more = drawn.kids.size() < drawn.kept && drawn.room;
        double needed = 0;
        std::uint64_t counted = 0;
        for (const std::size_t kid : drawn.kids) {
            needed += drawn_[kid].need;
            counted += drawn_[kid].node->count();
        }
        const double moreHeight = more ? lineHeight(least_) : 0.0;
        const double spare = std::max(0.0, bottom - top - needed - moreHeight);
        // The kids' block stands in the middle of the band when it needs less
        // than the parent's own label.
        double y = top;
        for (const std::size_t kid : drawn.kids) {
            const double extra = counted > 0 ? spare * static_cast<double>(drawn_[kid].node->count())
                                                   / static_cast<double>(counted)
                                             : 0.0;
            const double height = drawn_[kid].need + extra;
            slots.push_back({y, y + height});
            y += height;
        }
        if (more) {
            const double height = counted > 0 ? moreHeight : moreHeight + spare;
            slots.push_back({y, y + height});
        }
        return slots;
    }

    // Adds a placed label and the curve to it, as far as they are seen;
    // whether its continuations are to be placed.
    bool emit(const TreeLayout::Label &label, const Slot &slot, TreeLayout::Point anchor)
    {
        const double midY = label.y + label.size.height / 2;
        const bool seen = bandSeen(slot.top, slot.bottom) && label.x <= side_.visible.right;
        const bool curveSeen = bandSeen(std::min(slot.top, anchor.y), std::max(slot.bottom, anchor.y))
                               && label.x >= side_.visible.left && anchor.x <= side_.visible.right;
        if (seen)
            items_.push_back(label);
        if (curveSeen) {
            const double half = std::trunc((label.x - anchor.x) / 2);
            items_.push_back(TreeLayout::Curve{anchor, {anchor.x + half, anchor.y}, {anchor.x + half, midY}, {label.x, midY}});
        }
        return seen;
    }

    // The left-out entry of drawn node `index`, in its slot.
    void emitMore(std::size_t index, const Slot &slot, TreeLayout::Point anchor)
    {
        const Drawn &drawn = drawn_[index];
        const double x = columnAfter(drawn);
        const double allowed = std::min(width_ - x, labelCap_);
        std::uint64_t leftOutCount = drawn.keptCount;
        for (const std::size_t kid : drawn.kids)
            leftOutCount -= drawn_[kid].node->count();
        const std::uint64_t leftOut = drawn.kept - drawn.kids.size();
        TreeLayout::Label label;
        label.node = drawn.node;
        label.pixelSize = least_;
        label.more = static_cast<std::uint32_t>(std::min<std::uint64_t>(leftOut, UINT32_MAX));
        label.count = leftOutCount;
        label.text = PhraseScaleLayouter::moreText(leftOut, leftOutCount);
        if (textWidth(label.text, least_) > allowed)
            label.text = std::string("+").append(grouped(leftOut)).append(" more");
        if (textWidth(label.text, least_) > allowed)
            return;
        const bool seen = bandSeen(slot.top, slot.bottom) && x <= side_.visible.right;
        if (!seen)
            return;
        label.size = measureText(*drawn.node, label.text, least_, side_.side, width_ - x);
        label.measureIndex = measure_.last();
        // A canvas smaller than the root leaves no room for it.
        if (slot.bottom - slot.top < label.size.height - 1e-9 || slot.bottom > height_ + 1e-9)
            return;
        label.x = x;
        label.y = slot.top + (slot.bottom - slot.top - label.size.height) / 2;
        label.side = side_.side;
        label.level = drawn.level + 1;
        emit(label, slot, anchor);
    }

    const LayoutRequest &request_;
    const TreeLayouter::Side &side_;
    TreeLayouter::Measurer &measure_;
    std::vector<TreeLayout::Item> &items_;
    const double height_;
    const double width_;
    const double labelCap_;
    const std::uint32_t least_;
    const std::uint64_t rootCount_;
    std::map<std::uint32_t, double> lineHeights_;
    std::vector<Drawn> drawn_;
    std::priority_queue<Candidate> candidates_;
    std::size_t order_ = 0;
};

}  // namespace

std::uint32_t PhraseScaleLayouter::pixelSize(std::uint64_t count, std::uint64_t rootCount, double height, double zoom)
{
    const double root = std::clamp(height * rootHeightShare, rootLeastPixels, rootMostPixels);
    const double share = rootCount == 0 ? 1.0 : std::clamp(static_cast<double>(count) / static_cast<double>(rootCount), 0.0, 1.0);
    const double size = leastPixels + (root - leastPixels) * std::sqrt(share);
    return static_cast<std::uint32_t>(size * typeScale(zoom));
}

std::string PhraseScaleLayouter::moreText(std::uint64_t continuations, std::uint64_t occurrences)
{
    // Appended in turn: GCC 12 at -O3 warns falsely on "literal" + string&&.
    std::string text = "+";
    text += grouped(continuations);
    text += " more, ";
    text += grouped(occurrences);
    text += occurrences == 1 ? " occurrence" : " occurrences";
    return text;
}

TreeLayout PhraseScaleLayouter::layOutSide(const LayoutRequest &request, const Side &side, Measurer &measure) const
{
    TreeLayout layout;
    Builder builder(request, side, measure, layout.items());
    builder.run();
    return layout;
}

std::uint32_t PhraseScaleLayouter::rootPixelSize(const LayoutRequest &request, const PhraseNode &root) const
{
    (void)root;
    return pixelSize(1, 1, static_cast<double>(request.height) / std::max(request.zoom, 1.0), request.zoom);
}

std::optional<std::string> PhraseScaleLayouter::middleText(const LayoutRequest &request, const PhraseNode &middle,
                                                           std::uint32_t pixelSize) const
{
    // The phrase and what every occurrence shares, within the canvas.
    return fitLabel(request, middle, pixelSize, 0.9 * request.width, false);
}

std::string PhraseScaleLayouter::labelOf(const PhraseNode &node) const
{
    return node.writtenLabel();
}
