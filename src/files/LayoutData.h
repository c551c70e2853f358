#pragma once

#include "model/UpdateBox.h"

#include <QList>
#include <QString>

#include <array>

namespace tkl {

class TicketModel;

/// One ticket layout as a plain value: everything a layout file holds.
///
/// The reader fills a new value and the editor takes it over only when the whole
/// file was read; the writer stores one. Slot 0 of the arrays is never used.
struct LayoutData
{
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 30;

    qint16 EditorWidth = 0;
    qint16 EditorHeight = 0;
    qint16 TicketLines = 0;
    std::array<qint16, LastSlot + 1> BoxLoaded{};
    std::array<UpdateBox, LastSlot + 1> UpdateBoxes{};
    QString StartCode;
    QString StopCode;
    QString text;  ///< the ticket text, lines separated by CR LF

    /// The model's layout with the editor's `text` (the text lives in the editor, not the model).
    static LayoutData fromModel(const TicketModel &model, const QString &text);

    /// Copies the stored items into the model (the text stays with the caller).
    /// BoxLoaded becomes 1 exactly for the defined slots, because those are the ones
    /// whose fields the editor rebuilds; a marker of the file that disagrees with
    /// DataIn would otherwise name a field that does not exist, or hide one that does.
    /// ScrollPos and the scroll bar are the editor's to set.
    void applyTo(TicketModel &model) const;

    friend bool operator==(const LayoutData &, const LayoutData &) = default;
};

/// Before saving, frees every slot that is on screen but was never defined
/// (BoxLoaded 1, DataIn false): its marker becomes 0. Returns those slots in
/// ascending order so that the editor can remove their frames and labels.
QList<int> freeUndefinedSlots(LayoutData &layout);

} // namespace tkl
