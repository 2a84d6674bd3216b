#include "PhraseScaleLayouter.h"

#include "LabelText.h"

#include <algorithm>
#include <cmath>
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

// A label's words as the text writes them (UTF-8), read from the side the
// label is read from, and whether the label goes on past them.
struct Words {
    std::vector<std::string> words;
    bool goesOn = false;
};

Words wordsOf(const PhraseNode &node, std::size_t most, bool fromEnd, LabelEncoding encoding)
{
    const std::string part = fromEnd ? node.labelSuffix(most + 1) : node.labelPrefix(most + 1);
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

class Builder {
public:
    Builder(const LayoutRequest &request, const TreeLayouter::Side &side, TreeLayouter::Measurer &measure,
            std::vector<TreeLayout::Item> &items)
        : request_(request), side_(side), measure_(measure), items_(items), encoding_(request.encoding),
          height_(static_cast<double>(std::max(request.height, 0))), width_(side.width),
          labelCap_(PhraseScaleLayouter::labelWidthShare * request.width),
          least_(static_cast<std::uint32_t>(PhraseScaleLayouter::leastPixels * typeScale(request.zoom))),
          rootCount_(std::max<std::uint64_t>(side.root->count(), 1))
    {
    }

    void run()
    {
        const PhraseNode &rootLabel = *side_.label;
        const std::uint32_t rootSize = PhraseScaleLayouter::pixelSize(rootCount_, rootCount_, unitHeight(),
                                                                       request_.zoom);
        TreeLayout::Label label;
        label.node = &rootLabel;
        label.pixelSize = rootSize;
        label.count = rootLabel.count();
        if (side_.rootBox) {
            label.size = *side_.rootBox;
            label.measureIndex = side_.rootMeasureIndex;
            if (side_.middleText)
                label.text = *side_.middleText;
        } else {
            label.text = fit(rootLabel, rootSize, std::min(width_, 1.5 * labelCap_), side_.mirrored);
            label.size = measureText(rootLabel, label.text, rootSize, TreeLayout::Side::Root);
            label.measureIndex = measure_.last();
        }
        label.y = (height_ - label.size.height) / 2;
        const TreeLayout::Point anchor{label.size.width, height_ / 2};
        const double x = label.size.width + gapAfter(label.size);
        items_.push_back(std::move(label));
        plan(*side_.root, 1, 0.0, height_, x, anchor);
        while (!frames_.empty())
            placeNext();
    }

private:
    // One continuation to draw (or the left-out entry), in its slot.
    struct Slot {
        TreeLayout::Label label;
        double top = 0;
        double bottom = 0;
    };
    // A node whose slots are being drawn, one after another.
    struct Frame {
        std::vector<Slot> slots;
        std::size_t next = 0;
        TreeLayout::Point anchor;
        std::uint32_t level = 0;
    };

    double unitHeight() const { return height_ / std::max(request_.zoom, 1.0); }

    double gapAfter(const TreeLayout::Size &box) const
    {
        return std::max(12.0 * typeScale(request_.zoom), box.height);
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

    std::string fit(const PhraseNode &node, std::uint32_t pixelSize, double allowed, bool fromEnd) const
    {
        return fitLabel(request_, node, pixelSize, allowed, fromEnd);
    }

    bool bandSeen(double top, double bottom) const
    {
        return bottom >= side_.visible.top && top <= side_.visible.bottom;
    }

    // Chooses and places the continuations of `node` in the band [top,
    // bottom) of the column at `x`, and pushes them to be drawn.
    void plan(const PhraseNode &node, std::uint32_t level, double top, double bottom, double x,
              TreeLayout::Point anchor)
    {
        const TreePruning &pruning = request_.pruning;
        const double room = width_ - x;
        if (!pruning.keepsBelow(level - 1) || room < leastRoomInSizes * least_ || x > side_.visible.right
            || !bandSeen(top, bottom))
            return;
        const double band = bottom - top;
        const double allowed = std::min(room, labelCap_);
        std::vector<const PhraseNode *> kept;
        for (const auto &child : node.children()) {
            if (pruning.keeps(*child, level))
                kept.push_back(child.get());
        }
        std::vector<Slot> slots;
        double used = 0;
        std::size_t drawn = 0;
        // Heaviest first, while each fits with room for an entry for those after it.
        for (; drawn < kept.size(); ++drawn) {
            const PhraseNode &child = *kept[drawn];
            Slot slot;
            TreeLayout::Label &label = slot.label;
            label.node = &child;
            label.pixelSize = PhraseScaleLayouter::pixelSize(child.count(), rootCount_, unitHeight(), request_.zoom);
            label.text = fit(child, label.pixelSize, allowed, side_.mirrored);
            if (label.text.empty())
                break;
            const double reserve = drawn + 1 < kept.size() ? lineHeight() : 0.0;
            label.size = measureText(child, label.text, label.pixelSize, side_.side, room);
            label.measureIndex = measure_.last();
            if (used + label.size.height + reserve > band + 1e-9)
                break;
            label.x = x;
            label.side = side_.side;
            label.level = level;
            label.count = child.count();
            used += label.size.height;
            slots.push_back(std::move(slot));
        }
        std::uint64_t leftOut = kept.size() - drawn, leftOutCount = 0;
        for (std::size_t i = drawn; i < kept.size(); ++i)
            leftOutCount += kept[i]->count();
        if (leftOut > 0) {
            // "+N more": the last slot, at the least size, when it fits.
            Slot slot;
            TreeLayout::Label &label = slot.label;
            label.node = &node;
            label.pixelSize = least_;
            label.more = static_cast<std::uint32_t>(std::min<std::uint64_t>(leftOut, UINT32_MAX));
            label.count = leftOutCount;
            label.text = PhraseScaleLayouter::moreText(leftOut, leftOutCount);
            if (textWidth(label.text, least_) > allowed)
                label.text = "+" + grouped(leftOut) + " more";
            if (textWidth(label.text, least_) <= allowed) {
                label.size = measureText(node, label.text, least_, side_.side, room);
                label.measureIndex = measure_.last();
                if (used + label.size.height <= band + 1e-9) {
                    label.x = x;
                    label.side = side_.side;
                    label.level = level;
                    used += label.size.height;
                    slots.push_back(std::move(slot));
                }
            }
        }
        if (slots.empty())
            return;
        share(slots, top, band - used, level, x);
        frames_.push_back(Frame{std::move(slots), 0, anchor, level});
    }

    // The height of a line at the least size (a left-out entry's: its text
    // changes, not its height).
    double lineHeight()
    {
        if (lineHeight_ < 0) {
            const std::string probe = PhraseScaleLayouter::moreText(1, 1);
            lineHeight_ = measureText(*side_.label, probe, least_, side_.side).height;
        }
        return lineHeight_;
    }

    // Gives each slot its label's height and a share of the `spare` height:
    // first what its own continuations would need (as many lines of the
    // least size as it has continuations, at most the band), then the rest
    // evenly; and places the labels at their slots' middles.
    void share(std::vector<Slot> &slots, double top, double spare, std::uint32_t level, double x)
    {
        const double band = spare;
        std::vector<double> wants(slots.size(), 0.0);
        double wanted = 0;
        const TreePruning &pruning = request_.pruning;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const TreeLayout::Label &label = slots[i].label;
            const double next = x + label.size.width + gapAfter(label.size);
            if (label.more > 0 || !pruning.keepsBelow(level) || width_ - next < leastRoomInSizes * least_)
                continue;
            std::size_t continuations = 0;
            for (const auto &child : label.node->children())
                continuations += pruning.keeps(*child, level + 1) ? 1 : 0;
            const double need = static_cast<double>(continuations) * lineHeight();
            wants[i] = std::max(0.0, std::min(need, label.size.height + band) - label.size.height);
            wanted += wants[i];
        }
        const double given = std::min(wanted, spare);
        const double even = (spare - given) / static_cast<double>(slots.size());
        double y = top;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            Slot &slot = slots[i];
            const double extra = (wanted > 0 ? given * wants[i] / wanted : 0.0) + even;
            slot.top = y;
            slot.bottom = y + slot.label.size.height + extra;
            slot.label.y = y + extra / 2;
            y = slot.bottom;
        }
    }

    void placeNext()
    {
        Frame &frame = frames_.back();
        if (frame.next == frame.slots.size()) {
            frames_.pop_back();
            return;
        }
        Slot slot = std::move(frame.slots[frame.next++]);
        const TreeLayout::Point anchor = frame.anchor;
        const std::uint32_t level = frame.level;
        // `frame` may dangle from here on: plan() can grow frames_.
        TreeLayout::Label &label = slot.label;
        const double midY = label.y + label.size.height / 2;
        const bool seen = bandSeen(slot.top, slot.bottom) && label.x <= side_.visible.right;
        const bool curveSeen = bandSeen(std::min(slot.top, anchor.y), std::max(slot.bottom, anchor.y))
                               && label.x >= side_.visible.left && anchor.x <= side_.visible.right;
        const PhraseNode *node = label.more > 0 ? nullptr : label.node;
        const TreeLayout::Size box = label.size;
        const double x = label.x;
        if (seen)
            items_.push_back(std::move(label));
        if (curveSeen) {
            const double half = std::trunc((x - anchor.x) / 2);
            items_.push_back(TreeLayout::Curve{anchor, {anchor.x + half, anchor.y}, {anchor.x + half, midY}, {x, midY}});
        }
        if (seen && node)
            plan(*node, level + 1, slot.top, slot.bottom, x + box.width + gapAfter(box), {x + box.width, midY});
    }

    const LayoutRequest &request_;
    const TreeLayouter::Side &side_;
    TreeLayouter::Measurer &measure_;
    std::vector<TreeLayout::Item> &items_;
    const LabelEncoding encoding_;
    const double height_;
    const double width_;
    const double labelCap_;
    const std::uint32_t least_;
    const std::uint64_t rootCount_;
    double lineHeight_ = -1;
    std::vector<Frame> frames_;
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
    return "+" + grouped(continuations) + " more, " + grouped(occurrences)
           + (occurrences == 1 ? " occurrence" : " occurrences");
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
