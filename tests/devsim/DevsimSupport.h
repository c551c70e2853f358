#pragma once

// What the simulator's tests share: a network with Modbus printer ports, a full and a
// small ticket, the simulator's server in a thread of the test with downloads to it, and a
// bare Modbus client.

#include "support/LoopbackPort.h"
#include "support/ToolProcess.h"

#include "network/NetworkFactory.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "devsim/DeviceServer.h"
#include "devsim/ServedNodes.h"
#include "files/LayoutData.h"
#include "model/TicketModel.h"

#include <modbus/modbus.h>

#include <functional>
#include <memory>
#include <thread>

namespace tkl::test {

using namespace tkl::testing;

// A printer module node at a Modbus endpoint on 127.0.0.1 at `port` with two printer
// ports, Printer1 (the defaults) and the small Printer2 (unit 2, also at base 0), and Wide
// (unit 3) with two field elements beyond the 30 slots; a bench node with the simulated
// port Local, sized like Printer1; another with WideLocal, like Wide; and a scale with one
// variable.
inline QByteArray modbusNetwork(int port)
{
    return QStringLiteral(R"({
  "nodes": [
    { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [ { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4,
                       "bitNo": 0, "simulation": { "fixed": 1234.56 } } ] },
    { "name": "PrinterModule", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [],
      "modbus": { "host": "127.0.0.1", "port": %1 } },
    { "name": "Bench", "address": "NET1.ST09", "capabilities": "65 ticket printer", "variables": [] },
    { "name": "WideBench", "address": "NET1.ST10", "capabilities": "65 ticket printer", "variables": [] } ],
  "ports": [
    { "name": "Printer1", "node": "PrinterModule", "modbus": { "unit": 1, "base": 0 } },
    { "name": "Printer2", "node": "PrinterModule", "ticketLines": 5, "stringLength": 40,
      "modbus": { "unit": 2, "base": 0 } },
    { "name": "Local", "node": "Bench" },
    { "name": "Wide", "node": "PrinterModule", "updateElements": 32, "ticketLines": 5, "stringLength": 40,
      "modbus": { "unit": 3, "base": 0 } },
    { "name": "WideLocal", "node": "WideBench", "updateElements": 32, "ticketLines": 5, "stringLength": 40 } ]
})")
        .arg(port)
        .toUtf8();
}

// A full ticket: 30 fields, 60 text lines of 40 characters, both printer codes.
inline LayoutData fullLayout()
{
    LayoutData layout;
    layout.EditorWidth = 5170;
    layout.EditorHeight = 3155;
    layout.TicketLines = 60;
    QStringList lines;
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("Line %1 of the ticket: value").arg(i);
    layout.text = lines.join(QStringLiteral("\r\n"));
    for (int n = 1; n <= LayoutData::LastSlot; ++n) {
        layout.UpdateBoxes[n] = UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 2, true,
                                          qint16(2 * n - 1), 30};
        layout.BoxLoaded[n] = 1;
    }
    layout.StartCode = QStringLiteral("[27]@");
    layout.StopCode = QStringLiteral("[12]");
    return layout;
}

// A small ticket that fits every port of the network: two lines, one field.
inline LayoutData smallLayout()
{
    LayoutData layout;
    layout.TicketLines = 2;
    layout.text = QStringLiteral("Net:\r\nEnd");
    layout.UpdateBoxes[1] = UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 2, true, 0, 5};
    layout.BoxLoaded[1] = 1;
    layout.StartCode = QStringLiteral("[27]@");
    return layout;
}

// The simulator's server, serving in a thread of this process while it lives; the
// requests it sees go to `seen`.
struct Served
{
    devsim::DeviceServer server;
    std::thread thread;

    explicit Served(const QList<devsim::ServedNode> &nodes, const devsim::FaultOptions &faults = {},
                    std::vector<devsim::DeviceServer::Request> *seen = nullptr)
        : server(nodes, faults)
    {
        if (seen)
            server.setObserver([seen](const devsim::DeviceServer::Request &r) { seen->push_back(r); });
        QString why;
        if (!server.listen(&why))
            qFatal("%s", qPrintable(why));
        thread = std::thread([this] { server.run(); });
    }
    ~Served()
    {
        server.stop();
        thread.join();
    }
};

// The simulator's served nodes and the program's network, with downloads from one to the
// other in this process, so that a case costs a download, not two programs starting.
struct Loopback
{
    const int port = freeLoopbackPort();
    QList<devsim::ServedNode> nodes;
    std::unique_ptr<ProcessNetwork> network;

    // The program's description of the device differs from the served one by `from` -> `to`
    // (%1 in them: the port), and reaches it at `clientPort` when that is given.
    explicit Loopback(QByteArray from = {}, QByteArray to = {}, int clientPort = 0)
    {
        ToolFolder dir;
        writeFile(dir.networkPath(), modbusNetwork(port));
        QByteArray described = modbusNetwork(clientPort ? clientPort : port);
        const QByteArray number = QByteArray::number(port);
        if (!from.isEmpty())
            described.replace(from.replace("%1", number), to.replace("%1", number));
        auto served = devsim::servedNodes(dir.networkPath());
        auto loaded = ProcessNetwork::fromJson(described, QStringLiteral("net.json"));
        if (!served.ok() || !loaded.ok())
            qFatal("the description is unusable");
        nodes = *served;
        network = std::move(loaded).value();
    }

    // `layout` into `portName`, to a server that runs already (or a simulated port).
    DownloadResult downloadTo(const QString &portName, const LayoutData &layout = fullLayout())
    {
        NetworkFactory factory(*network);
        TicketDownload download(factory);
        TicketModel model;
        layout.applyTo(model);
        return download.run(model, layout.text.split(QStringLiteral("\r\n")), portName);
    }

    // The full ticket into Printer1 of a server that makes `faults`, started for it; what
    // Printer1 then holds goes to `held`, `meanwhile` runs before the download.
    DownloadResult download(const devsim::FaultOptions &faults, std::vector<devsim::DeviceServer::Request> *seen = nullptr,
                            std::vector<uint16_t> *held = nullptr, const std::function<void()> &meanwhile = {})
    {
        const Served served(nodes, faults, seen);
        if (meanwhile)
            meanwhile();
        const DownloadResult result = downloadTo(QStringLiteral("Printer1"));
        if (held)
            *held = served.server.registers(QStringLiteral("Printer1"));
        return result;
    }
};

// A bare libmodbus client of `unit` at the device, to see and change what it holds
// behind the program's back; null when it cannot connect.
using Client = std::unique_ptr<modbus_t, decltype([](modbus_t *ctx) {
                                   modbus_close(ctx);
                                   modbus_free(ctx);
                               })>;

inline Client connectTo(int port, int unit = 1)
{
    Client ctx(modbus_new_tcp("127.0.0.1", port));
    modbus_set_response_timeout(ctx.get(), 0, 300000);
    modbus_set_slave(ctx.get(), unit);
    if (modbus_connect(ctx.get()) != 0)
        return {};
    return ctx;
}

} // namespace tkl::test
