#include "LayoutData.h"

#include "model/TicketModel.h"

namespace tkl {

static_assert(LayoutData::LastSlot == TicketModel::LastSlot);

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
    model.setEditorWidth(EditorWidth);
    model.setEditorHeight(EditorHeight);
    model.setTicketLines(TicketLines);
    for (int i = FirstSlot; i <= LastSlot; ++i) {
        model.setRecord(i, UpdateBoxes[i]);
        if (UpdateBoxes[i].DataIn)
            model.loadSlot(i);
        else
            model.freeSlot(i);
    }
    model.setStartCode(StartCode);
    model.setStopCode(StopCode);
}

QList<int> freeUndefinedSlots(LayoutData &layout)
{
    QList<int> freed;
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i) {
        if (layout.BoxLoaded[i] == 1 && !layout.UpdateBoxes[i].DataIn) {
            layout.BoxLoaded[i] = 0;
            freed.append(i);
        }
    }
    return freed;
}

} // namespace tkl
