#pragma once

#include <QtGlobal>

namespace tkl {

/// Twips (1/1440 inch) to device pixels and back. The one place where the two meet.
struct Twips
{
    static int toPixels(double twips, double logicalDpi);
    static double fromPixels(int pixels, double logicalDpi);
};

/// Where a dropped field lands: its frame in twips and its record position.
struct DropResult
{
    int left = 0;   ///< frame left in the editor, twips
    int top = 0;    ///< frame top in the editor, twips
    int Pos = 0;    ///< 1-based column
    int Linie = 0;  ///< 0-based line of the whole text
};

/// Character-grid arithmetic of the ticket editor, in twips.
///
/// One cell is charWidth x lineHeight twips: the size of "a" in the editor font,
/// measured by the caller whenever it is needed and never stored in the model.
class CharGrid
{
public:
    static constexpr int TextBoxInset = 300;    ///< text box is this much narrower than the window
    static constexpr int WidthSlack = 250;      ///< window width = k cells + this
    static constexpr int HeightSlack = 200;     ///< window height = 22 lines + this
    static constexpr int FieldInset = 20;       ///< frame offset from its cell
    static constexpr int DesignLineHeight = 195; ///< line height the fixed window sizes were made for
    /// Frame and label width of a field that has no shape yet: newly inserted, or read
    /// from a file without Chars.
    static constexpr int TemplateFieldWidth = 1335;

    CharGrid(int charWidth, int lineHeight);

    int charWidth() const { return m_charWidth; }
    int lineHeight() const { return m_lineHeight; }

    /// The editor window's width for a requested width: snapped to k cells + 250
    /// (k rounded halves to even) and never wider than `maxWidth`; re-snapped after
    /// clamping, as the editor's resize handler runs again for the new width.
    int snapEditorWidth(double requested, int maxWidth) const;

    /// Characters per line of a text box `textBoxWidth` twips wide.
    int charsPerLine(double textBoxWidth) const;

    /// Window width that asks for `chars` characters per line (the size dialog adds one cell).
    int widthForChars(int chars) const;

    /// Height of the editor window: 22 visible lines + 200.
    int editorHeight() const;

    /// How much taller than its design the main window must be so that 22 lines fit.
    int extraMainHeight() const;

    /// A field released with its label's top-left corner at (x - offsetX, y - offsetY) in
    /// the text box, while `firstVisibleLine` (1-based) is the top line of the box.
    DropResult drop(double x, double y, double offsetX, double offsetY, int firstVisibleLine) const;

    /// Frame position of a field read from a file: left = Pos x w - 100, top = Linie x h + 20.
    int fileFrameLeft(int pos) const;
    int fileFrameTop(int linie) const;

private:
    int m_charWidth;
    int m_lineHeight;
};

} // namespace tkl
