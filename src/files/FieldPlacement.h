#pragma once

#include "LayoutData.h"

#include "model/CharGrid.h"

#include <QList>
#include <QString>

#include <array>

namespace tkl {

/// Where the editor puts the frame and label of a field read from a layout file.
struct FieldPlacement
{
    int slot = 0;
    int left = 0;   ///< frame left, twips: Pos x CharWidth - 100
    int top = 0;    ///< frame top, twips: Linie x LineHeight + 20
    int width = CharGrid::TemplateFieldWidth;  ///< frame and label width, twips: Chars x 120 + 40, or the template's
    QString caption;            ///< the field's shape, or "UpdateBox" and the slot when Chars is 0

    /// The placement of slot `slot` holding `box`, on a grid measured on the main window.
    /// Computed in int: every Chars a file can hold gives its true width.
    static FieldPlacement of(int slot, const UpdateBox &box, const CharGrid &grid);

    /// Placements of the defined slots (DataIn true), slot 1 first.
    static QList<FieldPlacement> defined(const std::array<UpdateBox, LayoutData::LastSlot + 1> &boxes,
                                         const CharGrid &grid);
};

} // namespace tkl
