#include "PortLookup.h"

#include "WriteFormat.h"
#include "network/ProcessNetwork.h"

#include <QStringList>

namespace tkl::cli {

const PrinterPort *PortLookup::find(const ProcessNetwork &network, const QString &name, QString *error)
{
    if (const PrinterPort *port = network.findPort(name))
        return port;

    QStringList known;
    for (const PrinterPort &port : network.ports())
        known << port.name;
    const QString choices = known.isEmpty() ? QStringLiteral("the network has no printer ports")
                                            : QStringLiteral("printer ports: %1").arg(known.join(QStringLiteral(", ")));
    // Quoted escaped, so that a name with control characters stays on one line.
    const QString shown = u'"' + WriteFormat::escaped(name) + u'"';

    QString why;
    if (name.trimmed().isEmpty()) {
        why = QStringLiteral("the port name is empty");
    } else if (std::any_of(network.nodes().begin(), network.nodes().end(),
                           [&](const NetworkNode &node) { return node.name == name; })) {
        why = QStringLiteral("%1 is a network node, not a printer port").arg(shown);
    } else if (network.findVariable(name)) {
        why = QStringLiteral("%1 is a network variable, not a printer port").arg(shown);
    } else if (network.findDeviceVariable(name)) {
        why = QStringLiteral("%1 is a variable inside a printer device, not a printer port").arg(shown);
    } else {
        why = QStringLiteral("the network has no printer port %1").arg(shown);
    }
    if (error)
        *error = why + QStringLiteral(" (") + choices + u')';
    return nullptr;
}

} // namespace tkl::cli
