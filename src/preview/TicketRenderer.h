#pragma once

#include "files/LayoutData.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tkl {

class NetworkCatalogue;
class ProcessNetwork;

/// The value of a network variable by its full name; nothing when it has none.
using ValueSource = std::function<std::optional<double>(const QString &fullName)>;

/// The simulated values of `network` at `msecs` on its clock (ProcessNetwork::networkTime()).
/// The network must outlive the source.
ValueSource networkValues(const ProcessNetwork &network, qint64 msecs);

/// Fixed values, e.g. those of a values file; names not listed have none.
ValueSource fixedValues(const QHash<QString, double> &values);

/// One defined field as printed.
struct RenderedField
{
    int slot = 0;
    QString varName;       ///< the field's VarName
    QString source;        ///< the variable the value is of: see renderTicket(); empty for none
    int line = 0;          ///< 0-based line of the rendered ticket
    int column = 0;        ///< 1-based column of the first cell (may be < 1: see clipped)
    int chars = 0;
    std::optional<double> value;
    QString text;          ///< what the field's cells show, `chars` long
    bool overflow = false; ///< the value did not fit: the cells show "*"
    bool missing = false;  ///< no value for the variable: the cells show "?"
    bool clipped = false;  ///< part of the field lies left of column 1 or above line 0 and was not printed
};

/// A ticket as the device prints it.
struct RenderedTicket
{
    QStringList lines;           ///< the printed lines, fields written in
    QList<RenderedField> fields; ///< the defined fields, by slot
    QString startCode;           ///< the printer codes as the device holds them (an empty code is
    QString stopCode;            ///< the CR a download sends), decoded for reading ("ESC E", "CR")

    /// Number of fields that overflowed / had no value.
    int overflowCount() const;
    int missingCount() const;
};

/// Renders `layout` as the device prints it. The text lines are the layout's text split
/// at CR LF. Every defined field (DataIn, slots 1 to 30, upwards) writes its value,
/// formatted by formatFieldValue(), into line Linie, columns Pos .. Pos + Chars - 1:
/// a short line is padded with blanks, a field past the line's end lengthens the line,
/// and a field below the last line adds empty lines down to its own, so that no field
/// drops out of sight. Cells left of column 1 and fields on a negative
/// line are not printed (clipped). Where fields overlap, the higher slot is written
/// last and shows. A field without a value shows "?" in every cell; one whose value
/// does not fit shows "*".
///
/// With `addresses`, a field shows the value of the variable at its address members
/// (FieldAddress), as the device finds it, whatever its name says; no variable there
/// is no value. Without, the value of the variable its VarName names.
RenderedTicket renderTicket(const LayoutData &layout, const ValueSource &values,
                            const NetworkCatalogue *addresses = nullptr);

/// Where a field's cells are in a ShownTicket.
struct ShownField
{
    int slot = 0;
    int line = 0;   ///< index into ShownTicket::lines
    int start = 0;  ///< first character of the field's cells in that line, from 0
    int length = 0; ///< characters its cells take there
    bool overflow = false;
    bool missing = false;
};

/// A rendered ticket as a person reads it: what `tklcli preview` prints and the
/// preview window shows.
struct ShownTicket
{
    QStringList lines;        ///< "<start: ESC E>", the ticket's lines, "<stop: CR>"
    QList<ShownField> fields; ///< every field with at least one printed cell, by slot
};

/// The lines of `ticket` for reading: with `withCodes` a line "<start: CODE>" before
/// the ticket and "<stop: CODE>" after it, the codes decoded ("<start: ESC E>", and
/// "<stop: CR>" for an empty code, which a download sends as a CR). A control
/// character of a ticket line is written as printer codes are typed, "[" code "]"
/// (a tab is "[9]"), so that it neither moves the text nor reaches a terminal.
ShownTicket showTicket(const RenderedTicket &ticket, bool withCodes = true);

/// `line` with its control characters written "[" code "]" (codes 0..31, 127 and the
/// code page's free 128..159).
QString shownLine(QStringView line);

} // namespace tkl
