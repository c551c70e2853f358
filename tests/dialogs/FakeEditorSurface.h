#pragma once

#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/TicketModel.h"

#include <QList>

namespace tkl::test {

/// An editor that records what the dialogs ask of it and sizes itself with the
/// same grid rule as the real one: width snapped to whole cells, never wider than
/// the main window, CharsPerLine derived from the text box.
class FakeEditorSurface : public EditorSurface
{
public:
    explicit FakeEditorSurface(TicketModel &model) : m_model(model) {}

    QStringList shapes; ///< "slot width caption", width -1 when only the caption was set
    QList<double> widthRequests;
    QStringList lines; ///< the box lines the editor shows

    int editorTopTwips() const override { return 1500; }
    int fieldTopTwips(int) const override { return 0; }
    void setFieldShape(int slot, int width, const QString &caption) override
    {
        shapes.append(QStringLiteral("%1 %2 %3").arg(slot).arg(width).arg(caption));
    }
    void setFieldCaption(int slot, const QString &caption) override { setFieldShape(slot, -1, caption); }
    void focusText() override {}
    void requestEditorWidth(double twips) override
    {
        widthRequests.append(twips);
        const int width = m_grid.snapEditorWidth(twips, 9500);
        m_model.setEditorWidth(qint16(width));
        m_model.setCharsPerLine(qint16(m_grid.charsPerLine(width - CharGrid::TextBoxInset)));
    }
    int lineCount() const override { return int(lines.size()); }
    QStringList boxLines() const override { return lines; }
    QList<int> fieldsOverScrollBar() const override { return overBar; }
    QList<int> overBar; ///< the fields that reach over the scroll bar

private:
    TicketModel &m_model;
    CharGrid m_grid{120, 225};
};

} // namespace tkl::test
