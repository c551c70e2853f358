#include "CharGrid.h"

#include "Numbers.h"

#include <algorithm>
#include <cmath>

namespace tkl {

int Twips::toPixels(double twips, double logicalDpi)
{
    return int(roundHalfEven(twips * logicalDpi / 1440.0));
}

double Twips::fromPixels(int pixels, double logicalDpi)
{
    return pixels * 1440.0 / logicalDpi;
}

CharGrid::CharGrid(int charWidth, int lineHeight)
    : m_charWidth(std::max(charWidth, 1))
    , m_lineHeight(std::max(lineHeight, 1))
{
}

int CharGrid::snapEditorWidth(double requested, int maxWidth) const
{
    double width = requested;
    // Each pass is one run of the resize handler; clamping to the main window raises
    // another. Two passes reach the fixed point; the bound only guards odd inputs.
    for (int pass = 0; pass < 4; ++pass) {
        const double k = roundHalfEven((width - TextBoxInset) / m_charWidth);
        double snapped = roundHalfEven(k * m_charWidth + WidthSlack);
        if (snapped > maxWidth)
            snapped = maxWidth;
        if (snapped == width)
            break;
        width = snapped;
    }
    return int(width);
}

int CharGrid::charsPerLine(double textBoxWidth) const
{
    return int(roundHalfEven(textBoxWidth / m_charWidth - 1));
}

int CharGrid::widthForChars(int chars) const
{
    return (chars + 1) * m_charWidth + WidthSlack;
}

int CharGrid::editorHeight() const
{
    return 22 * m_lineHeight + HeightSlack;
}

int CharGrid::extraMainHeight() const
{
    return m_lineHeight > DesignLineHeight ? 22 * (m_lineHeight - DesignLineHeight) : 0;
}

DropResult CharGrid::drop(double x, double y, double offsetX, double offsetY, int firstVisibleLine) const
{
    const double col = (x - offsetX) / m_charWidth;
    const double row = (y - offsetY) / m_lineHeight;
    const int dx = int(std::trunc(col));
    const int dy = int(std::trunc(row));
    DropResult r;
    r.left = dx * m_charWidth + FieldInset;
    r.top = dy * m_lineHeight + FieldInset;
    r.Pos = dx + 1;
    r.Linie = int(std::floor(row)) + firstVisibleLine - 1;
    return r;
}

int CharGrid::fileFrameLeft(int pos) const
{
    return pos * m_charWidth - 100;
}

int CharGrid::fileFrameTop(int linie) const
{
    return linie * m_lineHeight + FieldInset;
}

} // namespace tkl
