#include "FieldPlacement.h"

#include "model/CharGrid.h"
#include "model/ShapeCaption.h"

#include <algorithm>

namespace tkl {

FieldPlacement FieldPlacement::of(int slot, const UpdateBox &box, const CharGrid &grid)
{
    FieldPlacement p;
    p.slot = slot;
    p.left = grid.fileFrameLeft(box.Pos);
    p.top = grid.fileFrameTop(box.Linie);
    if (box.Chars != 0) {
        // A negative Chars (typed into the dialog as such) must not give a negative widget width.
        p.width = std::max(0, int(box.Chars) * 120 + 40);
        p.caption = ShapeCaption(box.Chars, box.Digits);
    } else {
        p.caption = slotCaption(slot);
    }
    return p;
}

QList<FieldPlacement> FieldPlacement::defined(const std::array<UpdateBox, LayoutData::LastSlot + 1> &boxes,
                                              const CharGrid &grid)
{
    QList<FieldPlacement> out;
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i) {
        if (boxes[i].DataIn)
            out.append(of(i, boxes[i], grid));
    }
    return out;
}

} // namespace tkl
