// A full download (30 fields, 60 lines, both codes) to the device simulator over
// loopback: the Modbus requests it takes, its time against a bare libmodbus loop that
// sends the same requests in the same run, and with every reply delayed by 2 ms, one
// device against 20 at once; and a fleet check (tklcli diff) of 100 ports on 100 devices
// answering after 2 ms against one port. Prints the figures; not a test.
//
//   bench_devsim [ROUNDS]

#include "network/NetworkFactory.h"
#include "device/PortVariables.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "devsim/DeviceServer.h"
#include "devsim/ServedNodes.h"
#include "model/TicketModel.h"
#include "preview/DeviceDiff.h"
#include "support/FullTicket.h"
#include "support/LoopbackPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <modbus/modbus.h>

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace tkl;
using bench::fillTicket;
using devsim::DeviceServer;
using testing::freeLoopbackPort;

namespace {

constexpr int Devices = 20;

// Twenty printing devices, each its own node at its own endpoint with one port.
QByteArray description(const QList<int> &tcpPorts)
{
    QStringList nodes, ports;
    nodes << QStringLiteral(R"({ "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [ { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4, "bitNo": 0 } ] })");
    for (int i = 0; i < tcpPorts.size(); ++i) {
        nodes << QStringLiteral(R"({ "name": "Module%1", "address": "NET1.ST%2", "capabilities": "65 ticket printer",
      "variables": [], "modbus": { "host": "127.0.0.1", "port": %3, "timeoutMs": 2000 } })")
                     .arg(i + 1)
                     .arg(i + 10)
                     .arg(tcpPorts[i]);
        ports << QStringLiteral(R"({ "name": "P%1", "node": "Module%1", "modbus": { "unit": 1, "base": 0 } })").arg(i + 1);
    }
    return QStringLiteral("{ \"nodes\": [ %1 ],\n  \"ports\": [ %2 ] }").arg(nodes.join(u",\n"), ports.join(u",\n")).toUtf8();
}

// A fleet of printing devices, each its own node with one port: as many as a network can
// address (node numbers 00..99), so no other node.
QByteArray fleetDescription(const QList<int> &tcpPorts)
{
    QStringList nodes, ports;
    for (int i = 0; i < tcpPorts.size(); ++i) {
        nodes << QStringLiteral(R"({ "name": "Module%1", "address": "NET1.ST%2", "capabilities": "65 ticket printer",
      "variables": [], "modbus": { "host": "127.0.0.1", "port": %3, "timeoutMs": 2000 } })")
                     .arg(i + 1)
                     .arg(i, 2, 10, QLatin1Char('0'))
                     .arg(tcpPorts[i]);
        ports << QStringLiteral(R"({ "name": "P%1", "node": "Module%1", "modbus": { "unit": 1, "base": 0 } })").arg(i + 1);
    }
    return QStringLiteral("{ \"nodes\": [ %1 ],\n  \"ports\": [ %2 ] }").arg(nodes.join(u",\n"), ports.join(u",\n")).toUtf8();
}

// A server on its own thread for as long as it lives.
class RunningServer
{
public:
    RunningServer(const QList<devsim::ServedNode> &nodes, const devsim::FaultOptions &faults,
                  DeviceServer::RequestSink observer = {})
        : m_server(nodes, faults)
    {
        m_server.setObserver(std::move(observer));
        QString error;
        if (!m_server.listen(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::exit(1);
        }
        m_thread = std::thread([this] { m_server.run(); });
    }
    ~RunningServer()
    {
        m_server.stop();
        m_thread.join();
    }
    quint64 requests() const { return m_server.requests(); }

private:
    DeviceServer m_server;
    std::thread m_thread;
};

// One download with its own network, factory and server object, as a separate program would.
struct Downloader
{
    std::unique_ptr<ProcessNetwork> network;
    std::unique_ptr<AutomationFactory> factory;
    std::unique_ptr<TicketDownload> download;

    explicit Downloader(const QString &path)
    {
        auto loaded = ProcessNetwork::fromFile(path);
        if (!loaded.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(loaded.error().message));
            std::exit(1);
        }
        network = std::move(loaded).value();
        factory = std::make_unique<NetworkFactory>(*network);
        download = std::make_unique<TicketDownload>(*factory);
    }

    DownloadResult run(const TicketModel &model, const QStringList &lines, const QString &port)
    {
        return download->run(model, lines, port);
    }
};

// The same requests over one connection with nothing around them: connect, send, close.
bool bareLoop(int tcpPort, const std::vector<DeviceServer::Request> &requests)
{
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", tcpPort);
    bool ok = modbus_connect(ctx) == 0;
    uint16_t buffer[MODBUS_MAX_READ_REGISTERS];
    for (const auto &r : requests) {
        if (!ok)
            break;
        modbus_set_slave(ctx, r.unit);
        switch (r.function) {
        case MODBUS_FC_READ_HOLDING_REGISTERS:
            ok = modbus_read_registers(ctx, r.address, r.count, buffer) == r.count;
            break;
        case MODBUS_FC_WRITE_SINGLE_REGISTER:
            ok = modbus_write_register(ctx, r.address, r.values.front()) == 1;
            break;
        case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
            ok = modbus_write_registers(ctx, r.address, r.count, r.values.data()) == r.count;
            break;
        default:
            ok = false;
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool check(const DownloadResult &result, const char *what)
{
    if (!result.ok())
        std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(result.errorString));
    return result.ok();
}

// The ticket to send, and the port of the first device.
struct Ticket
{
    TicketModel model;
    QStringList lines;
    QString port = QStringLiteral("P1");
};

// The requests of one download and its time against the bare loop sending the same
// requests to the device at `tcpPort`.
bool measureRequests(const QList<devsim::ServedNode> &nodes, const QString &path, const Ticket &ticket, int tcpPort,
                     int rounds)
{
    std::vector<DeviceServer::Request> requests;
    bool recording = true;
    RunningServer server(nodes, {}, [&](const DeviceServer::Request &r) {
        if (recording)
            requests.push_back(r);
    });
    Downloader downloader(path);
    const DownloadResult first = downloader.run(ticket.model, ticket.lines, ticket.port);
    if (!check(first, "the download"))
        return false;
    recording = false;
    if (requests.empty()) {
        std::fprintf(stderr, "the download sent no request to the simulator: port P1 is not a Modbus device?\n");
        return false;
    }
    int writeRequests = 0, readRequests = 0, writeRegisters = 0;
    for (const auto &r : requests) {
        if (r.function == MODBUS_FC_READ_HOLDING_REGISTERS) {
            ++readRequests;
        } else {
            ++writeRequests;
            writeRegisters += r.count;
        }
    }
    std::printf("full download (30 fields, 60 lines, both codes), %d rounds\n", rounds);
    std::printf("  device writes:          %d\n", first.writesDone);
    std::printf("  Modbus requests:        %zu (%d writes carrying %d registers, %d read-back reads)\n",
                requests.size(), writeRequests, writeRegisters, readRequests);
    std::printf("  write requests / device writes: %.2f (target <= 0.5)\n",
                double(writeRequests) / first.writesDone);
    // The download state and checksum: what they add to a download of the ticket alone.
    const int state = PortVariables::downloadStateRegister(PrinterPort{}); // P1 has the default size
    const auto touchesState = [state](const DeviceServer::Request &r) {
        return r.address <= state && state < r.address + r.count;
    };
    std::printf("  requests that touch the download state: %td (target <= 2: its first and last write)\n",
                std::count_if(requests.begin(), requests.end(), touchesState));

    std::vector<double> product, bare;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        if (!check(downloader.run(ticket.model, ticket.lines, ticket.port), "the download"))
            return false;
        product.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        if (!bareLoop(tcpPort, requests)) {
            std::fprintf(stderr, "the bare loop failed\n");
            return false;
        }
        bare.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double p = median(product), b = median(bare);
    std::printf("  download:  %.2f ms (median)\n", p);
    std::printf("  bare libmodbus loop, same requests: %.2f ms (median)\n", b);
    std::printf("  ratio: %.2fx (target <= 1.3x)\n", p / b);
    return true;
}

// Every reply 2 ms late: one device, then all of them at once.
bool measureSlowDevices(const QList<devsim::ServedNode> &nodes, const QString &path, const Ticket &ticket, int rounds)
{
    devsim::FaultOptions slow;
    slow.delayMs = 2;
    RunningServer server(nodes, slow);
    std::vector<std::unique_ptr<Downloader>> downloaders;
    for (int i = 0; i < Devices; ++i)
        downloaders.push_back(std::make_unique<Downloader>(path));
    const int slowRounds = std::max(1, rounds / 10);
    std::vector<double> one, all;
    QElapsedTimer timer;
    for (int round = 0; round < slowRounds; ++round) {
        timer.start();
        if (!check(downloaders.front()->run(ticket.model, ticket.lines, ticket.port), "the download"))
            return false;
        one.push_back(timer.nsecsElapsed() / 1e6);

        std::vector<std::thread> threads;
        std::vector<DownloadResult> results(Devices);
        timer.start();
        for (int i = 0; i < Devices; ++i) {
            threads.emplace_back([&, i] {
                results[std::size_t(i)] =
                    downloaders[std::size_t(i)]->run(ticket.model, ticket.lines, QStringLiteral("P%1").arg(i + 1));
            });
        }
        for (auto &t : threads)
            t.join();
        all.push_back(timer.nsecsElapsed() / 1e6);
        for (const auto &r : results) {
            if (!check(r, "a concurrent download"))
                return false;
        }
    }
    const double o = median(one), a = median(all);
    std::printf("with --delay-ms 2, %d rounds\n", slowRounds);
    std::printf("  one device:        %.1f ms (median)\n", o);
    std::printf("  %d devices at once: %.1f ms (median), %.2fx one device (target <= 2x)\n", Devices, a, a / o);
    return true;
}

// A network of `count` devices answering after 2 ms, each holding the ticket: comparing
// one port with the ticket, then all of them at once (as tklcli diff does).
bool measureFleetCheck(const Ticket &ticket, int count)
{
    // A port just freed may be handed out again: each device gets one of its own.
    QList<int> tcpPorts;
    while (tcpPorts.size() < count) {
        const int port = freeLoopbackPort();
        if (!tcpPorts.contains(port))
            tcpPorts << port;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fleet.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(fleetDescription(tcpPorts)) < 0)
            return false;
    }
    const auto nodes = devsim::servedNodes(path);
    if (!nodes.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(nodes.error().message));
        return false;
    }
    devsim::FaultOptions slow;
    slow.delayMs = 2;
    RunningServer server(*nodes, slow);
    Downloader fleet(path);
    ProcessNetwork &network = *fleet.network;
    QStringList ports;
    for (int i = 0; i < count; ++i)
        ports << QStringLiteral("P%1").arg(i + 1);
    {
        std::vector<std::thread> threads;
        std::vector<DownloadResult> results(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            threads.emplace_back([&, i] {
                NetworkFactory factory(network);
                TicketDownload download(factory);
                results[std::size_t(i)] = download.run(ticket.model, ticket.lines, ports.at(i));
            });
        }
        for (auto &t : threads)
            t.join();
        for (const auto &r : results) {
            if (!check(r, "a fleet download"))
                return false;
        }
    }
    using Kind = DeviceDiff::Outcome::Kind;
    QElapsedTimer timer;
    timer.start();
    const Kind one = DeviceDiff::compare(network, ticket.model, ticket.lines, *network.findPort(ports.first())).kind;
    const double oneMs = timer.nsecsElapsed() / 1e6;
    std::vector<Kind> kinds(static_cast<std::size_t>(count));
    std::vector<std::thread> threads;
    timer.start();
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            kinds[std::size_t(i)] = DeviceDiff::compare(network, ticket.model, ticket.lines, *network.findPort(ports.at(i))).kind;
        });
    }
    for (auto &t : threads)
        t.join();
    const double allMs = timer.nsecsElapsed() / 1e6;
    if (one != Kind::Holds || std::count(kinds.begin(), kinds.end(), Kind::Holds) != count) {
        std::fprintf(stderr, "a device of the fleet does not hold the ticket\n");
        return false;
    }
    std::printf("fleet check (diff), every reply 2 ms late\n");
    std::printf("  one port:                 %.1f ms\n", oneMs);
    std::printf("  %d ports on %d devices: %.1f ms, %.2fx one port (target <= 3x)\n", count, count, allMs,
                allMs / oneMs);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    QList<int> tcpPorts;
    for (int i = 0; i < Devices; ++i)
        tcpPorts << freeLoopbackPort();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("network.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(description(tcpPorts)) < 0)
            return 1;
    }
    const auto nodes = devsim::servedNodes(path);
    if (!nodes.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(nodes.error().message));
        return 1;
    }

    Ticket ticket;
    fillTicket(ticket.model, ticket.lines);
    if (!measureRequests(*nodes, path, ticket, tcpPorts.first(), rounds))
        return 1;
    if (!measureSlowDevices(*nodes, path, ticket, rounds))
        return 1;
    return measureFleetCheck(ticket, 100) ? 0 : 1;
}
