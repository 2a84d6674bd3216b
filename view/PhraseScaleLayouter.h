// PhraseScaleLayouter: labels sized by how often they occur relative to the phrase, and branches given the room their drawn labels need.
#pragma once

#include "TreeLayouter.h"

#include <cstdint>
#include <string>

// Sizes follow counts: a label's pixel size is a function of its count
// relative to the root's count alone, never smaller for a larger count, from
// leastPixels (a label met once in a large corpus) to the root's, a share of
// the canvas height within bounds; at zoom z all sizes grow by the square
// root of z, so that a magnified canvas shows more of the branches.
//
// Placement: columns as the corpus scale's, the root centred at the left
// edge. A node's continuations are drawn heaviest first, as many as fit in
// its band without overlapping (each in its own slot, its label centred in
// it); the band is shared by what their drawn subtrees need rather than by
// their counts. Where continuations are not drawn, one entry at the end of
// the drawn ones says how many, and how many occurrences they stand for
// ("+328 more, 1,906 occurrences"). Labels read as the text writes them; one
// wider than a share of the canvas's width, or than the room to the edge, is
// cut after a word with "…" (a mirrored one keeps its end, "…" first).
// Every label lies inside the canvas; a column with no room for a label is
// left out. Children pruned away are not counted as left out.
class PhraseScaleLayouter : public TreeLayouter {
public:
    static constexpr double leastPixels = 10.0;
    // The widest a label is drawn, as a share of the canvas's width.
    static constexpr double labelWidthShare = 0.3;

    // The pixel size of a label standing for `count` of the root's
    // `rootCount` occurrences, on a canvas `height` pixels high at zoom 1,
    // magnified `zoom` times.
    static std::uint32_t pixelSize(std::uint64_t count, std::uint64_t rootCount, double height, double zoom);
    // The text of a left-out entry.
    static std::string moreText(std::uint64_t continuations, std::uint64_t occurrences);

protected:
    TreeLayout layOutSide(const LayoutRequest &request, const Side &side, Measurer &measure) const override;
    std::uint32_t rootPixelSize(const LayoutRequest &request, const PhraseNode &root) const override;
    // Labels read as the text writes them ("king's house,").
    std::string labelOf(const PhraseNode &node) const override;
    std::optional<std::string> middleText(const LayoutRequest &request, const PhraseNode &middle,
                                          std::uint32_t pixelSize) const override;
};
