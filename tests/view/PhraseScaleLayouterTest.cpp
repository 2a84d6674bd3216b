// The phrase scale's promises, over random texts, phrases, canvases, zooms and prunings, with a fake measurer.
#include "Corpus.h"
#include "PhraseScaleLayouter.h"
#include "PhraseSearch.h"
#include "TreeLayouter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Label = TreeLayout::Label;

// As wide as half the pixel size per byte and a margin, as high as a line
// with the margins; the cheap width agrees with it.
TreeLayout::Size fakeSize(std::string_view text, std::uint32_t pixelSize)
{
    return {0.5 * pixelSize * static_cast<double>(text.size()) + 8.0, std::floor(1.2 * pixelSize) + 8.0};
}

struct Case {
    std::string text;
    std::string phrase;
    TreeSides sides;
    LayoutRequest request;
};

std::vector<Label> labelsOf(const TreeLayout &layout)
{
    std::vector<Label> out;
    for (const TreeLayout::Item &item : layout.items()) {
        if (const auto *label = std::get_if<Label>(&item))
            out.push_back(*label);
    }
    return out;
}

// The continuations of `node` that `pruning` keeps, `depth` levels below the root.
std::vector<const PhraseNode *> kept(const PhraseNode &node, std::uint32_t depth, const TreePruning &pruning)
{
    std::vector<const PhraseNode *> out;
    if (!pruning.keepsBelow(depth))
        return out;
    for (const auto &child : node.children()) {
        if (pruning.keeps(*child, depth + 1))
            out.push_back(child.get());
    }
    return out;
}

TEST(PhraseScaleLayouter, KeepsItsPromisesOnRandomTrees)
{
    std::mt19937 random(20261208);
    const std::vector<std::string> words{"the", "cat", "sat", "on", "a", "mat", "and", "ran", ".", "x"};
    int checked = 0;
    for (int round = 0; round < 150; ++round) {
        std::string text;
        const int tokens = 20 + static_cast<int>(random() % 600);
        for (int i = 0; i < tokens; ++i)
            text += words[random() % (round % 3 == 0 ? 4 : words.size())] + ' ';
        const std::string_view documents[] = {text};
        const Corpus corpus(documents, {}, true);
        const std::string phrase = words[random() % 4];
        const auto after = searchPhrase(corpus, phrase, TreeDirection::Forward).root;
        const auto before = searchPhrase(corpus, phrase, TreeDirection::Backward).root;
        if (!after)
            continue;
        LayoutRequest request;
        const int sides = round % 3;
        request.sides = {sides == 1 ? nullptr : after.get(), sides == 0 ? nullptr : before.get()};
        request.height = 120 + static_cast<int>(random() % 900);
        request.width = 160 + static_cast<double>(random() % 1400);
        request.zoom = std::vector<double>{1.0, 1.0, 2.0, 3.5}[random() % 4];
        request.height = static_cast<int>(request.height * request.zoom);
        request.width *= request.zoom;
        if (random() % 4 == 0)
            request.pruning.maxDepth = 1 + static_cast<std::uint32_t>(random() % 3);
        if (random() % 4 == 0)
            request.pruning.minCount = 1 + static_cast<std::uint32_t>(random() % 3);
        request.measure = [](const LabelMeasure &label) {
            return fakeSize(label.text ? std::string_view(*label.text) : std::string_view(label.node->label()),
                            label.pixelSize);
        };
        request.textWidth = [](std::string_view text, std::uint32_t pixelSize) {
            return fakeSize(text, pixelSize).width;
        };
        const TreeLayout layout = layouterFor(LabelScale::Phrase).layOut(request);
        const std::vector<Label> labels = labelsOf(layout);
        ASSERT_FALSE(labels.empty());
        const std::uint64_t rootCount = after->count();
        const Label &root = labels.front();
        const double unitHeight = request.height / request.zoom;
        ++checked;

        for (std::size_t i = 0; i < labels.size(); ++i) {
            const Label &a = labels[i];
            // Sizes follow counts alone: the same function, never below the
            // least size at zoom 1, the root the largest.
            EXPECT_GE(a.pixelSize, static_cast<std::uint32_t>(PhraseScaleLayouter::leastPixels)) << round;
            EXPECT_LE(a.pixelSize, root.pixelSize) << round;
            if (a.more == 0) {
                const std::uint64_t sideCount = a.side == TreeLayout::Side::Before ? before->count() : rootCount;
                EXPECT_EQ(a.pixelSize, PhraseScaleLayouter::pixelSize(a.count, sideCount, unitHeight, request.zoom))
                    << round << " " << phrase << " " << a.level << " " << a.count << " " << text;
            }
            // Inside the canvas, and overlapping no other label.
            EXPECT_GE(a.x, -1e-6) << round;
            EXPECT_GE(a.y, -1e-6) << round << " " << a.text;
            EXPECT_LE(a.x + a.size.width, request.width + 1e-6) << round << " " << a.text;
            EXPECT_LE(a.y + a.size.height, request.height + 1e-6) << round << " " << a.text;
            for (std::size_t j = i + 1; j < labels.size(); ++j) {
                const Label &b = labels[j];
                const bool apart = a.x + a.size.width <= b.x + 1e-6 || b.x + b.size.width <= a.x + 1e-6
                                   || a.y + a.size.height <= b.y + 1e-6 || b.y + b.size.height <= a.y + 1e-6;
                EXPECT_TRUE(apart) << round << ": '" << a.text << "' and '" << b.text << "'";
            }
        }
        for (const Label &a : labels) {
            for (const Label &b : labels) {
                if (a.more == 0 && b.more == 0 && a.count < b.count) {
                    EXPECT_LE(a.pixelSize, b.pixelSize) << round;
                }
            }
        }

        // Each side's drawn continuations of a node are the first of those
        // kept, heaviest first; a left-out entry counts the rest.
        std::map<std::pair<const PhraseNode *, TreeLayout::Side>, std::set<const PhraseNode *>> drawnUnder;
        std::map<const PhraseNode *, std::uint32_t> levelOf;
        for (const PhraseNode *side : {after.get(), before.get()})
            levelOf[side] = 0;
        for (const Label &label : labels) {
            if (label.more == 0 && label.level > 0)
                levelOf[label.node] = label.level;
        }
        for (const Label &label : labels) {
            if (label.more > 0 || label.level == 0)
                continue;
            const PhraseNode *root = label.side == TreeLayout::Side::After ? after.get() : before.get();
            for (const auto &[node, level] : levelOf) {
                if (level + 1 != label.level)
                    continue;
                const auto &children = node->children();
                if (std::any_of(children.begin(), children.end(), [&](const auto &c) { return c.get() == label.node; }))
                    drawnUnder[{node, label.side}].insert(label.node);
            }
            (void)root;
        }
        for (const auto &[key, drawn] : drawnUnder) {
            const std::vector<const PhraseNode *> all = kept(*key.first, levelOf[key.first], request.pruning);
            for (std::size_t i = 0; i < drawn.size() && i < all.size(); ++i)
                EXPECT_TRUE(drawn.count(all[i])) << round << ": not the heaviest first under " << key.first->label();
        }
        for (const Label &label : labels) {
            if (label.more == 0)
                continue;
            const std::vector<const PhraseNode *> all =
                kept(*label.node, label.level - 1, request.pruning);
            const auto found = drawnUnder.find({label.node, label.side});
            const std::size_t drawn = found == drawnUnder.end() ? 0 : found->second.size();
            ASSERT_LE(drawn, all.size());
            EXPECT_EQ(label.more, all.size() - drawn) << round;
            std::uint64_t rest = 0;
            for (std::size_t i = drawn; i < all.size(); ++i)
                rest += all[i]->count();
            EXPECT_EQ(label.count, rest) << round;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST(PhraseScaleLayouter, CutsLongLabelsAfterAWordAndLetsAWiderCanvasShowMore)
{
    std::string text;
    for (int i = 0; i < 3; ++i)
        text += "so it begins with a rather long sentence that goes on and on until the very end of it . ";
    text += "so it ends .";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const auto root = searchPhrase(corpus, "so it", TreeDirection::Forward).root;
    ASSERT_TRUE(root);
    std::vector<std::string> shown;
    for (const double width : {1000.0, 3000.0}) {
        LayoutRequest request;
        request.sides.forward = root.get();
        request.height = 400;
        request.width = width;
        request.measure = [](const LabelMeasure &label) { return fakeSize(*label.text, label.pixelSize); };
        request.textWidth = [](std::string_view text, std::uint32_t size) { return fakeSize(text, size).width; };
        const std::vector<Label> labels = labelsOf(layouterFor(LabelScale::Phrase).layOut(request));
        const auto cut = std::find_if(labels.begin(), labels.end(),
                                      [](const Label &label) { return label.text.find("begins") == 0; });
        ASSERT_NE(cut, labels.end());
        // Whole words, then "…" (the whole label stays the node's); or the
        // whole label, where the canvas is wide enough.
        const std::string label = cut->node->label();
        if (cut->text.ends_with("\xE2\x80\xA6")) {
            const std::string words = cut->text.substr(0, cut->text.size() - 3);
            EXPECT_EQ(label.rfind(words, 0), 0u) << cut->text;
            EXPECT_EQ(label[words.size()], ' ') << cut->text;
            shown.push_back(words);
        } else {
            EXPECT_EQ(cut->text, label);
            shown.push_back(cut->text);
        }
    }
    EXPECT_LT(shown[0].size(), shown[1].size());
}

TEST(PhraseScaleLayouter, LabelsReadAsTheTextWritesThem)
{
    const std::string text = "in the king's house, he sat. by the king's son; he stood. in the king's house, she sat.";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    const auto after = searchPhrase(corpus, "the king", TreeDirection::Forward).root;
    const auto before = searchPhrase(corpus, "the king", TreeDirection::Backward).root;
    ASSERT_TRUE(after && before);
    LayoutRequest request;
    request.sides = TreeSides{after.get(), before.get()};
    request.height = 400;
    request.width = 2000;
    request.measure = [](const LabelMeasure &label) { return fakeSize(*label.text, label.pixelSize); };
    request.textWidth = [](std::string_view text, std::uint32_t size) { return fakeSize(text, size).width; };
    std::set<std::string> texts;
    for (const Label &label : labelsOf(layouterFor(LabelScale::Phrase).layOut(request)))
        texts.insert(label.text);
    // The middle label is the phrase with what both roots absorbed; blanks
    // stand where the text has them.
    EXPECT_EQ(texts, (std::set<std::string>{"the king's", "house,", "he sat.", "she sat.", "son; he stood.", ". in",
                                            ". by"}));
}

}  // namespace
