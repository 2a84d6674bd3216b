// LabelItemPool: the label items of one drawing, kept so that the next drawing of the same trees can reuse them.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

class PhraseNode;
class QGraphicsItem;

// Making a label's text item costs far more than placing it, and a pan over
// a zoomed canvas lays out again much of what it showed. A label item is a
// function of its node, its pixel size, its direction and the room it was
// cut to; a whole label that fitted its room is the same item in any room it
// fits. A later drawing that asks for such an item takes the one drawn
// before instead of making it again.
//
// The pool refers to items without owning them: they belong to the scene
// they were drawn in. Its user clears it when that scene is destroyed, or
// when the trees (whose nodes the keys point to) or the label encoding go.
class LabelItemPool {
public:
    struct Key {
        const PhraseNode *node = nullptr;
        int pixelSize = 0;
        bool mirrored = false;
        bool operator==(const Key &) const = default;
    };
    // An item and what it was made for: the room it was given and, when it
    // holds its whole label and that fitted, how far the label reaches
    // (else a negative number).
    // A label whose text the layouter chose (cut after a word) was made of
    // that `text`, whatever its room.
    struct Made {
        QGraphicsItem *item = nullptr;
        double room = 0;
        double wholeReach = -1;
        std::string text;
    };

    // The item the last finished drawing made for `key`, if it serves
    // `room`, or holds `text` when one is given (it is then no longer the
    // pool's to give); else a null item.
    Made take(const Key &key, double room, const std::string *text = nullptr);
    // Records an item of the drawing under way.
    void keep(const Key &key, const Made &made);
    // Ends a drawing: what it kept is what the next may take; what the last
    // one left untaken is forgotten.
    void finish();
    void clear();

private:
    struct KeyHash {
        std::size_t operator()(const Key &key) const;
    };
    std::unordered_map<Key, Made, KeyHash> previous_;
    std::unordered_map<Key, Made, KeyHash> current_;
};
