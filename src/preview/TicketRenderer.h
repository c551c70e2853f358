#pragma once

#include "files/LayoutData.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tkl {

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
    QString varName;
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
    QString startCode;           ///< the printer codes, decoded for reading ("ESC E")
    QString stopCode;

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
RenderedTicket renderTicket(const LayoutData &layout, const ValueSource &values);

} // namespace tkl
