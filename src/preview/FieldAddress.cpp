#include "FieldAddress.h"

#include "device/NetworkCatalogue.h"
#include "device/NodeAttributes.h"

namespace tkl {

const NetworkVariable *FieldAddress::variableAt(const NetworkCatalogue &network, const UpdateBox &box)
{
    for (const NetworkVariable &v : network.variables()) {
        if (v.internalAddress != box.SWNo || v.offset != box.Offset || v.subDataType != box.Typ || v.bitNo != box.BitNo)
            continue;
        if (nodeNumberFromAddress(network.nodes().at(v.node).address) == box.NodeAdr)
            return &v;
    }
    return nullptr;
}

QString FieldAddress::describe(const UpdateBox &box)
{
    return QStringLiteral("node %1, SWNo %2, Offset %3, Typ %4, BitNo %5")
        .arg(box.NodeAdr)
        .arg(box.SWNo)
        .arg(box.Offset)
        .arg(box.Typ)
        .arg(box.BitNo);
}

} // namespace tkl
