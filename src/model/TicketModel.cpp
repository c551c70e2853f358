#include "TicketModel.h"

namespace tkl {

TicketModel::TicketModel(QObject *parent)
    : QObject(parent)
{
    reset();
}

void TicketModel::reset()
{
    UpdateBoxes.fill(UpdateBox{});
    BoxLoaded.fill(0);
    TicketLines = 0;
    CharsPerLine = 0;
    EditorWidth = 0;
    EditorHeight = 0;
    StartCode.clear();
    StopCode.clear();
    LayoutChanged = false;
    ScrollPos = VisibleLines;
    ScrollDelta = 0;
    CurrentBox = 0;
    DeleteMode = false;
    NewBoxSlot = 0;
}

int TicketModel::lowestFreeSlot() const
{
    for (int i = FirstSlot; i <= LastSlot; ++i) {
        if (BoxLoaded[i] == 0)
            return i;
    }
    return 0;
}

int TicketModel::loadedCount() const
{
    int n = 0;
    for (int i = FirstSlot; i <= LastSlot; ++i)
        n += BoxLoaded[i] == 1 ? 1 : 0;
    return n;
}

} // namespace tkl
