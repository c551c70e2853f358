#pragma once

#include "UpdateBox.h"

#include <QObject>
#include <QString>

#include <array>

namespace tkl {

/// The one open ticket layout and the editor's bookkeeping.
///
/// Created once at start-up and handed by reference to every window; the windows
/// read and write the items in place, as the event handlers of the editor do.
/// The ticket text itself lives in the editor's text box; the fields' on-screen
/// pairs live in the editor and are mirrored by BoxLoaded.
class TicketModel : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 30;
    static constexpr int SlotCount = 30;
    static constexpr qint16 VisibleLines = 22;

    explicit TicketModel(QObject *parent = nullptr);

    /// Start-up state: every slot free and cleared, codes empty, ScrollPos 22,
    /// nothing changed.
    void reset();

    /// Lowest slot whose BoxLoaded is 0, or 0 when all 30 are in use.
    int lowestFreeSlot() const;

    /// Number of slots with BoxLoaded 1.
    int loadedCount() const;

    // Slots 0 to 30; slot 0 is never used.
    std::array<UpdateBox, LastSlot + 1> UpdateBoxes{};
    std::array<qint16, LastSlot + 1> BoxLoaded{};

    qint16 TicketLines = 0;
    qint16 CharsPerLine = 0;
    qint16 EditorWidth = 0;
    qint16 EditorHeight = 0;
    QString StartCode;
    QString StopCode;
    bool LayoutChanged = false;
    qint16 ScrollPos = VisibleLines;
    qint32 ScrollDelta = 0;
    qint16 CurrentBox = 0;
    bool DeleteMode = false;
    qint16 NewBoxSlot = 0;
};

} // namespace tkl
