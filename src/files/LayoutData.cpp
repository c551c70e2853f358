#include "LayoutData.h"

#include "model/TicketModel.h"

namespace tkl {

static_assert(LayoutData::LastSlot == TicketModel::LastSlot);

namespace {

template<typename Markers, typename Boxes>
QList<int> freeUndefined(Markers &loaded, const Boxes &boxes)
{
    QList<int> freed;
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i) {
        if (loaded[i] == 1 && !boxes[i].DataIn) {
            loaded[i] = 0;
            freed.append(i);
        }
    }
    return freed;
}

} // namespace

LayoutData LayoutData::fromModel(const TicketModel &model, const QString &text)
{
    LayoutData d;
    d.EditorWidth = model.EditorWidth;
    d.EditorHeight = model.EditorHeight;
    d.TicketLines = model.TicketLines;
    for (int i = FirstSlot; i <= LastSlot; ++i) {
        d.BoxLoaded[i] = model.BoxLoaded[i];
        d.UpdateBoxes[i] = model.UpdateBoxes[i];
    }
    d.StartCode = model.StartCode;
    d.StopCode = model.StopCode;
    d.text = text;
    return d;
}

void LayoutData::applyTo(TicketModel &model) const
{
    model.EditorWidth = EditorWidth;
    model.EditorHeight = EditorHeight;
    model.TicketLines = TicketLines;
    for (int i = FirstSlot; i <= LastSlot; ++i) {
        model.UpdateBoxes[i] = UpdateBoxes[i];
        model.BoxLoaded[i] = UpdateBoxes[i].DataIn ? 1 : 0;
    }
    model.StartCode = StartCode;
    model.StopCode = StopCode;
}

QList<int> freeUndefinedSlots(LayoutData &layout)
{
    return freeUndefined(layout.BoxLoaded, layout.UpdateBoxes);
}

QList<int> freeUndefinedSlots(TicketModel &model)
{
    return freeUndefined(model.BoxLoaded, model.UpdateBoxes);
}

} // namespace tkl
