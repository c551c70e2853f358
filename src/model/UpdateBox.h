#pragma once

#include <QString>
#include <QtGlobal>

namespace tkl {

/// One ticket field: the network variable it shows and where and how wide it is.
/// The members keep the names, order and widths that the layout file and the
/// device's UpdateArr elements use.
struct UpdateBox
{
    QString VarName;     ///< full name of the bound network variable
    quint8 NodeAdr = 0;  ///< address of the node that holds the variable
    qint16 SWNo = 0;     ///< internal address of the variable in its node
    qint16 Offset = 0;   ///< offset of the value within the variable
    qint16 Typ = 0;      ///< data type of the variable
    quint8 BitNo = 0;    ///< bit number within the value
    quint8 Code = 0;     ///< capability code of the node
    qint16 DevType = 0;  ///< device type; only a layout file sets it
    qint16 Chars = 0;    ///< width of the field in characters
    qint16 Digits = 0;   ///< digits after the decimal point
    bool DataIn = false; ///< the field is defined
    qint16 Linie = 0;    ///< 0-based line of the ticket text
    qint16 Pos = 0;      ///< 1-based column of the first character

    friend bool operator==(const UpdateBox &, const UpdateBox &) = default;
};

} // namespace tkl
