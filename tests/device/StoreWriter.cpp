// A second program writing the devices' memory: downloads `rounds` one-line tickets
// to its own port, saving after each, so that several of them race for the file.
//
//     device_store_writer STORE PORT ROUNDS
//
// The network has the ports W1 to W8. Exit status 0 once its last round is saved.

#include "network/ProcessNetwork.h"

#include <QCoreApplication>
#include <QStringList>

using namespace tkl;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    ProcessNetwork network;
    const int node = network.addNode(QStringLiteral("Module"), QStringLiteral("NET1.ST01"), QStringLiteral("65"));
    for (int n = 1; n <= 8; ++n)
        network.addPort(QStringLiteral("W%1").arg(n), node, 1, 2, 40);
    if (!network.attachStore(args.at(1)))
        return 1;
    const QString port = args.at(2);
    const int rounds = args.at(3).toInt();
    for (int round = 1; round <= rounds; ++round) {
        const QString line = QStringLiteral("%1 round %2").arg(port).arg(round);
        if (network.write(port + QStringLiteral(".lines"), QVariant::fromValue(qint16(1)))
            || network.write(port + QStringLiteral(".Ticket[1]"), line)) {
            return 2;
        }
        // A save that waited too long for the others leaves the port marked for the next.
        network.saveStore();
    }
    for (int tries = 1; !network.saveStore(); ++tries) {
        if (tries == 10)
            return 1;
    }
    return 0;
}
