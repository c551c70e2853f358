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
    struct Shape
    {
        int slot;
        int width; ///< -1 when only the caption was set
        QString caption;
    };

    static constexpr int MainWindowWidth = 9500;

    explicit FakeEditorSurface(TicketModel &model, int charWidth = 120, int lineHeight = 225)
        : m_model(model)
        , m_grid(charWidth, lineHeight)
    {
    }

    int editorTop = 1500;
    QList<int> fieldTops = QList<int>(31, 0);
    QList<Shape> shapes;
    QList<double> widthRequests;
    int focusTextCalls = 0;

    int editorTopTwips() const override { return editorTop; }
    int fieldTopTwips(int slot) const override { return fieldTops.value(slot); }
    void setFieldShape(int slot, int widthTwips, const QString &caption) override
    {
        shapes.append({slot, widthTwips, caption});
    }
    void setFieldCaption(int slot, const QString &caption) override { shapes.append({slot, -1, caption}); }
    void focusText() override { ++focusTextCalls; }
    void requestEditorWidth(double twips) override
    {
        widthRequests.append(twips);
        const int width = m_grid.snapEditorWidth(twips, MainWindowWidth);
        m_model.EditorWidth = qint16(width);
        m_model.CharsPerLine = qint16(m_grid.charsPerLine(width - CharGrid::TextBoxInset));
    }
    QStringList lines;  ///< the box lines the editor shows
    int lineCount() const override { return int(lines.size()); }
    QStringList boxLines() const override { return lines; }

private:
    TicketModel &m_model;
    CharGrid m_grid;
};

} // namespace tkl::test
