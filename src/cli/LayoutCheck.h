#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tkl {
class ProcessNetwork;
struct LayoutData;
struct LayoutError;
}

namespace tkl::cli {

/// One thing wrong with a layout file, tied to the file line it concerns.
struct CheckFinding
{
    enum class Severity { Warning, Error };

    Severity severity = Severity::Warning;
    int line = 0;     ///< file line, from 1; 0 when the problem concerns no single line
    QString message;

    /// "file:line: warning: message" (no line part when `line` is 0).
    QString format(const QString &file) const;

    friend bool operator==(const CheckFinding &, const CheckFinding &) = default;
};

/// What the check tool finds in a layout that the editor would open.
///
/// Everything here is a warning: the editor lets the operator save such a layout, and
/// the device takes it, but the printed ticket will not look as intended. Only a file
/// the reader refuses is an error (readError()).
class LayoutCheck
{
public:
    /// The character cell the ticket width is counted in (the editor's at 96 dpi).
    static constexpr int CellWidth = 120;
    static constexpr int CellHeight = 225;

    /// Characters per line of a layout saved from an editor `editorWidth` twips wide.
    static int charsPerLine(int editorWidth);

    /// The text's lines as stored: what a download from the command line sends.
    static QStringList textLines(const QString &text);

    /// Every warning for `layout`, in file line order. The fields' variables are
    /// compared with `network` as a binding in the editor would read them now.
    static QList<CheckFinding> findings(const LayoutData &layout, const ProcessNetwork &network);

    /// Problems of a printer code in the bracket notation: a "[" that is never closed,
    /// a bracketed code above 255. Columns count from 1.
    static QStringList codeProblems(const QString &code);

    /// The reader's refusal as an error finding.
    static CheckFinding readError(const LayoutError &error);
};

} // namespace tkl::cli
