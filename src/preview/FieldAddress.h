#pragma once

#include "model/UpdateBox.h"

#include <QString>

namespace tkl {

class NetworkCatalogue;
struct NetworkVariable;

/// A device finds the value it prints in a field by the field's address members, not
/// by its name: NodeAdr (the node number its "NodeAddress" ends in), SWNo
/// ("InternalAddress"), Offset, Typ ("SubDataType") and BitNo. A field whose name was
/// typed rather than bound keeps the addresses of its earlier variable, and the device
/// prints that one.
class FieldAddress
{
public:
    /// The variable of `network` at `box`'s address members, the first in description
    /// order when several share them; nullptr when none is there.
    static const NetworkVariable *variableAt(const NetworkCatalogue &network, const UpdateBox &box);

    /// "node 3, SWNo 120, Offset 0, Typ 4, BitNo 0": the address members, for messages.
    static QString describe(const UpdateBox &box);
};

} // namespace tkl
