#pragma once

#include "device/ProcessNetwork.h"
#include "model/TicketModel.h"

#include <QString>
#include <QStringList>

namespace tkl::test {

/// One write of the log as a line of the golden files: name, type and value separated
/// by tabs; strings quoted with control characters escaped, so a CR is visible.
inline QString formatWrite(const WriteRecord &w)
{
    QString value;
    switch (w.type) {
    case ValueType::Boolean:
        value = w.value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case ValueType::UInt8:
    case ValueType::Int16:
        value = QString::number(w.value.toInt());
        break;
    case ValueType::String: {
        value = QStringLiteral("\"");
        for (QChar c : w.value.toString()) {
            if (c == QLatin1Char('\r'))
                value += QStringLiteral("\\r");
            else if (c == QLatin1Char('\n'))
                value += QStringLiteral("\\n");
            else if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                value += QLatin1Char('\\') + c;
            else if (c.unicode() < 32)
                value += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                value += c;
        }
        value += QLatin1Char('"');
        break;
    }
    }
    return w.name + QLatin1Char('\t') + valueTypeName(w.type) + QLatin1Char('\t') + value;
}

inline QStringList formatLog(const QList<WriteRecord> &log)
{
    QStringList lines;
    for (const WriteRecord &w : log)
        lines << formatWrite(w);
    return lines;
}

/// A defined field as the dialogs leave it.
inline UpdateBox field(const QString &varName, quint8 node, qint16 swNo, qint16 offset, qint16 typ, quint8 bitNo,
                       quint8 code, qint16 devType, qint16 chars, qint16 digits, qint16 linie, qint16 pos)
{
    return UpdateBox{varName, node, swNo, offset, typ, bitNo, code, devType, chars, digits, true, linie, pos};
}

/// The ticket of the golden download: fields in slots 1, 7 and 30, a loaded but
/// undefined field in slot 3, a start code and an empty stop code.
inline void fillGoldenTicket(TicketModel &model)
{
    model.UpdateBoxes[1] = field(QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 7, 1, 2, 8);
    model.UpdateBoxes[7] = field(QStringLiteral("Kiln.Zone1Temp"), 5, 200, 4, 4, 2, 33, 1, 5, 0, 3, 9);
    model.UpdateBoxes[30] = field(QStringLiteral("Batching.BatchCounter"), 6, 300, 0, 2, 0, 9, 0, 4, 0, 4, 11);
    model.UpdateBoxes[3].VarName = QStringLiteral("Kiln.BurnerOn");
    model.UpdateBoxes[3].Chars = 3;
    for (int slot : {1, 3, 7, 30})
        model.BoxLoaded[slot] = 1;
    model.StartCode = QStringLiteral("[27]@");
    model.StopCode.clear();
}

inline QStringList goldenBoxLines()
{
    return {QStringLiteral("   WEIGHING TICKET"), QString(), QStringLiteral("Net:   xxxxx.x kg"),
            QStringLiteral("Zone 1: xxxxx"), QStringLiteral("Batch no. xxxx \"A\"")};
}

} // namespace tkl::test
