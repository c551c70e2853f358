#pragma once

// The ticket the download benchmarks send: every field defined, 60 text lines and both
// printer codes.

#include "model/TicketModel.h"

#include <QStringList>

namespace tkl::bench {

inline void fillTicket(TicketModel &model, QStringList &lines)
{
    for (int n = 1; n <= TicketModel::LastSlot; ++n) {
        UpdateBox b = model.UpdateBoxes[n];
        b.VarName = QStringLiteral("Scale1.NetWeight");
        b.NodeAdr = 3;
        b.SWNo = qint16(100 + n);
        b.Offset = qint16(2 * n);
        b.Typ = 4;
        b.BitNo = 0;
        b.Code = 17;
        b.Chars = 8;
        b.Digits = 2;
        b.DataIn = true;
        b.Linie = qint16(n * 2 - 1);
        b.Pos = 10;
        model.setRecord(n, b);
        model.loadSlot(n);
    }
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("Line %1 of the ticket: value ........").arg(i);
    model.setStartCode(QStringLiteral("[27]@[27]!8"));
    model.setStopCode(QStringLiteral("[12][27]i"));
}

} // namespace tkl::bench
