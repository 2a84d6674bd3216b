#include "TreeLayout.h"

void TreeLayout::mirror(double axis)
{
    for (Item &item : items_) {
        if (auto *label = std::get_if<Label>(&item)) {
            label->x = axis - label->x - label->size.width;
        } else {
            auto &curve = std::get<Curve>(item);
            for (Point *point : {&curve.start, &curve.control1, &curve.control2, &curve.end})
                point->x = axis - point->x;
        }
    }
}

void TreeLayout::shift(double dx)
{
    for (Item &item : items_) {
        if (auto *label = std::get_if<Label>(&item)) {
            label->x += dx;
        } else {
            auto &curve = std::get<Curve>(item);
            for (Point *point : {&curve.start, &curve.control1, &curve.control2, &curve.end})
                point->x += dx;
        }
    }
}

void TreeLayout::append(const TreeLayout &other, bool withoutRoot)
{
    auto from = other.items_.begin();
    if (withoutRoot && from != other.items_.end())
        ++from;  // the root label always comes first
    items_.insert(items_.end(), from, other.items_.end());
}
