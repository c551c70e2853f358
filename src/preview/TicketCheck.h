#pragma once

#include "device/LayoutFinding.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tkl {

class ProcessNetwork;
struct LayoutData;
struct PrinterPort;

/// What is wrong with a ticket layout, for the command-line check and the editor alike.
///
/// Errors are the rules of the printer port the layout goes to (PortRules): a download
/// refuses such a layout before its first write. Warnings are what a device takes but
/// will not print as intended: a field past the right edge of the ticket or left of its
/// first column, fields that overlap, a field below the text, a text line wider than
/// the ticket, a field bound to no variable or to one the network does not know, a field
/// whose address (FieldAddress) is that of another variable than its name says (the
/// device prints that one), stored addresses that differ from what binding the variable
/// now would store, a printer
/// code with an unclosed "[" or a code above 255.
///
/// The editor checks what it shows, with the text as its box breaks it into lines:
///
///     const LayoutData layout = LayoutData::fromModel(model, boxLines.join(QStringLiteral("\r\n")));
///     for (const LayoutFinding &f : TicketCheck::findings(layout, network))
///         list->addItem(f.message);  // f.subject / f.index / f.member say where
class TicketCheck
{
public:
    /// The character cell the ticket width is counted in (the editor's at 96 dpi).
    static constexpr int CellWidth = 120;
    static constexpr int CellHeight = 225;

    /// Characters per line of a layout saved from an editor `editorWidth` twips wide.
    static int charsPerLine(int editorWidth);

    /// The text's lines as stored: what a download from the command line sends.
    static QStringList textLines(const QString &text);

    /// Every finding for `layout`: the warnings, and the errors against `port`, or
    /// against every printer port of `network` when `port` is nullptr (each error names
    /// its port). In file line order (fileLine()), findings of the layout as a whole
    /// first. Fields' variables are compared with `network` as a binding made now would
    /// read them. Linear in the size of the layout and the number of ports.
    /// Of the findings about text lines, at most MaxLineFindings of each kind (the
    /// warnings, each port's errors of one variable) are listed; the next one's message
    /// is replaced by "... and N more like these on later text lines".
    static QList<LayoutFinding> findings(const LayoutData &layout, const ProcessNetwork &network,
                                         const PrinterPort *port = nullptr);
    static constexpr int MaxLineFindings = 20;

    /// The warnings alone, in file line order.
    static QList<LayoutFinding> warnings(const LayoutData &layout, const ProcessNetwork &network);

    /// The errors against `port` alone, in the order a download writes (PortRules::check()).
    static QList<LayoutFinding> errors(const LayoutData &layout, const PrinterPort &port);

    /// Problems of a printer code in the bracket notation: a "[" that is never closed,
    /// a bracketed code above 255. Columns count from 1. At most MaxCodeProblems, the
    /// last of them then saying how many more there are.
    static QStringList codeProblems(const QString &code);
    static constexpr int MaxCodeProblems = 10;

    /// The line of the layout file that holds what `finding` concerns; 0 for the
    /// layout as a whole.
    static int fileLine(const LayoutFinding &finding);
};

} // namespace tkl
