#pragma once

#include <QString>

namespace tkl {
class ProcessNetwork;
struct PrinterPort;
}

namespace tkl::cli {

/// Finds the printer port a command line names, or says in one line why the name is
/// not one: empty, a node, a network variable, a device variable, or unknown.
class PortLookup
{
public:
    /// The port, or nullptr with `error` set.
    static const PrinterPort *find(const ProcessNetwork &network, const QString &name, QString *error);
};

} // namespace tkl::cli
