// TreeLayouter: one way to size and place a phrase's trees on a canvas, behind the interface every drawing uses.
#pragma once

#include "LayoutRequest.h"
#include "TreeLayout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// How label sizes are read: as the viewer draws them, by each label's share
// of the whole corpus; or by its count relative to the phrase's.
enum class LabelScale { Corpus, Phrase };

class TreeLayouter;
// The layouter of a scale (one for the program's life).
const TreeLayouter &layouterFor(LabelScale scale);

// A layouter lays out one side at a time, from its root, as columns that
// grow rightwards; layOut() puts the sides in place. A forward tree alone
// stands from the left edge. A backward tree alone is mirrored: laid out by
// the same rules, then its columns grow leftwards from the phrase at the
// right edge. Both together: one middle label (the backward root's label
// followed by what the forward root's label has past its search text, both
// as labelOf() reads them, at
// the root's size) centred on the canvas (at its left edge, if wider), the
// backward tree mirrored to its left and the forward tree to its right. The
// layout lists the middle (or root) label first, then the backward tree's
// labels and curves, then the forward tree's; it owns the middle label.
class TreeLayouter {
public:
    virtual ~TreeLayouter() = default;

    // Lays out `request`'s trees as above. Uses no recursion that grows with
    // the trees' depth.
    TreeLayout layOut(const LayoutRequest &request) const;

    // Counts the measurer's calls across the sides, for Label::measureIndex.
    class Measurer {
    public:
        explicit Measurer(const LayoutRequest &request) : request_(request) {}
        TreeLayout::Size operator()(const LabelMeasure &label)
        {
            ++calls_;
            return request_.measure(label);
        }
        // The index of the last call.
        std::size_t last() const { return calls_ - 1; }
        std::size_t calls() const { return calls_; }

    private:
        const LayoutRequest &request_;
        std::size_t calls_ = 0;
    };

    // One side to lay out, in its own coordinates: the root label at x = 0,
    // columns growing towards `width`.
    struct Side {
        const PhraseNode *root = nullptr;   // whose continuations are laid out
        const PhraseNode *label = nullptr;  // the node whose label stands for the root
        // The root label's size and measure index when it was measured
        // already (the middle label of a double tree).
        const TreeLayout::Size *rootBox = nullptr;
        std::size_t rootMeasureIndex = 0;
        const std::string *middleText = nullptr;  // what the measured middle label reads, if chosen
        TreeLayout::Side side = TreeLayout::Side::After;
        bool mirrored = false;
        double width = 0;
        TreeLayout::Visible visible;
    };

protected:
    // Lays out one side: its root label (measured unless rootBox is given)
    // and its continuations.
    virtual TreeLayout layOutSide(const LayoutRequest &request, const Side &side, Measurer &measure) const = 0;
    // The pixel size of a root label: the middle label's, in a double tree.
    virtual std::uint32_t rootPixelSize(const LayoutRequest &request, const PhraseNode &root) const = 0;
    // What the middle label of a double tree reads, when the layouter
    // chooses it (see Label::text); none for the node's label.
    virtual std::optional<std::string> middleText(const LayoutRequest &request, const PhraseNode &middle,
                                                  std::uint32_t pixelSize) const
    {
        (void)request;
        (void)middle;
        (void)pixelSize;
        return std::nullopt;
    }
    // The bytes a node's label reads, of which the middle label is made:
    // label() (tokens joined by blanks) unless the layouter draws labels
    // as the text writes them.
    virtual std::string labelOf(const PhraseNode &node) const;
};
