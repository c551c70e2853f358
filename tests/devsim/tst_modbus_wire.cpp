// The Modbus client's wire: every answer is held against its request field by field and
// must be in whole within the timeout, and an answer that does not fit, or a fault of the
// device, fails the request it came with, never a later one. And the simulator's own
// framing: a request is what its header says it is.

#include "DevsimSupport.h"

#include "modbus/ModbusTransport.h"
#include "device/PortVariables.h"

#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>

using namespace tkl;
using namespace tkl::test;

namespace {

using Bytes = QByteArray;

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A socket connected to 127.0.0.1:`port`, or -1.
int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A socket listening at 127.0.0.1:`port` (0: a free one) with a queue of `backlog`.
int listenLoopback(int port, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(port);
    ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::listen(fd, backlog);
    return fd;
}

void sendAll(int fd, const Bytes &bytes)
{
    ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
}

// Exactly `size` bytes from `fd` within two seconds; fewer when it closed or went quiet.
Bytes receive(int fd, int size)
{
    Bytes got;
    while (got.size() < size) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        char buffer[300];
        const ssize_t n = ::recv(fd, buffer, size_t(std::min<qsizetype>(size - got.size(), sizeof buffer)), 0);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

// One whole TCP frame (header and PDU) from `fd`; empty when the peer closed.
Bytes receiveFrame(int fd)
{
    Bytes header = receive(fd, 7);
    if (header.size() < 7)
        return {};
    return header + receive(fd, ModbusPdu::word(header, 4) - 1);
}

// Listens at `port` for the client, relays its requests to the simulator at `serverPort`
// and hands the `at`-th answer to `spoil` instead of passing it on.
struct SpoilingProxy
{
    using Spoil = std::function<void(int fd, Bytes answer)>;

    SpoilingProxy(int port, int serverPort, int at, Spoil spoil)
        : listener(listenLoopback(port, 4))
        , thread([=, this] {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = connectLoopback(serverPort);
            Bytes request, answer;
            for (int n = 1; client >= 0 && !(request = receiveFrame(client)).isEmpty(); ++n) {
                sendAll(server, request);
                if ((answer = receiveFrame(server)).isEmpty())
                    break;
                (n == at ? spoil : sendAll)(client, answer);
            }
            ::close(server);
            ::close(client);
        })
    {
    }
    ~SpoilingProxy()
    {
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }

    const int listener;
    std::thread thread;
};

// Whether variable `name` of Printer1 holds the first register `request` asks for: the
// variable a failed request is reported as.
bool holdsTheFirstRegister(const Loopback &device, const QString &name, const devsim::DeviceServer::Request &request)
{
    const PrinterPort &port = *device.network->findPort(QStringLiteral("Printer1"));
    const auto place = PortVariables::placeOf(port, name);
    const int size = !place ? 0
        : place->type == ValueType::String ? PortVariables::stringRegisters(port)
        : place->type == ValueType::UInt32 ? 2
                                           : 1;
    return place && place->firstRegister <= request.address && request.address < place->firstRegister + size;
}

// A spoiler that changes byte `at` of the answer to `value` and sends the rest as it is.
SpoilingProxy::Spoil setByte(int at, char value)
{
    return [at, value](int fd, Bytes answer) {
        answer[at] = value;
        sendAll(fd, answer);
    };
}

} // namespace

Q_DECLARE_METATYPE(SpoilingProxy::Spoil)
Q_DECLARE_METATYPE(tkl::devsim::FaultOptions)

class TestModbusWire : public QObject
{
    Q_OBJECT

private slots:
    void failedDownloads_data();
    void failedDownloads();
    void droppedAtEveryRequest();
    void framing_data();
    void framing();
    void aStringLongerThanOneRequest();
    void timeouts();
    void idleConnectionsLockNobodyOut();
};

void TestModbusWire::failedDownloads_data()
{
    QTest::addColumn<devsim::FaultOptions>("faults");
    QTest::addColumn<QByteArray>("from"); // the program's description differs by from -> to
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<int>("at"); // the request that fails, and the last the device sees
    QTest::addColumn<SpoilingProxy::Spoil>("spoil");
    QTest::addColumn<QString>("what"); // %1: the port the program asks

    auto fault = [](const char *name, const devsim::FaultOptions &faults, int at, const char *what, const char *from = "",
                    const char *to = "") {
        QTest::newRow(name) << faults << QByteArray(from) << QByteArray(to) << at << SpoilingProxy::Spoil() << what;
    };
    fault("nothing listens", {.refuse = true}, 0, "to 127.0.0.1:%1 (unit 1) failed: cannot connect (Connection refused)");
    // No name server is asked about a malformed name.
    fault("unknown host", {}, 0, "to no..such.host:%1 (unit 1) failed: unknown host \"no..such.host\"", "127.0.0.1",
          "no..such.host");
    fault("slower than the timeout", {.delayMs = 1000}, 1, "to 127.0.0.1:%1 (unit 1) failed: no answer within 200 ms",
          "%1 }", "%1, \"timeoutMs\": 200 }");
    fault("wrong unit", {}, 1, "to 127.0.0.1:%1 (unit 9) failed: the device answered with Modbus exception 11",
          "\"unit\": 1", "\"unit\": 9");
    // The first write marks the download as under way; the 33rd joins element 1's
    // one-register members and element 2's name.
    fault("a joined write names its range", {.exceptionAt = 33}, 33,
          "Writing Printer1.UpdateArr[1].NodeAdr to Printer1.UpdateArr[2].VarName to 127.0.0.1:%1 (unit 1) failed");
    fault("exception reply", {.exceptionAt = 4}, 4,
          "Printer1.UpdateArr[3].DataIn to 127.0.0.1:%1 (unit 1) failed: the device answered with Modbus exception 4");

    // Answers spoilt by a proxy: the header is 7 bytes, an FC16 echo 5 more.
    auto spoilt = [](const char *name, int at, SpoilingProxy::Spoil spoil, const char *what) {
        QTest::newRow(name) << devsim::FaultOptions{} << QByteArray() << QByteArray() << at << spoil
                            << QStringLiteral("127.0.0.1:%1 (unit 1) failed: ") + QString::fromLatin1(what);
    };
    spoilt("another unit", 3, setByte(6, 7), "the device answered for unit 7, asked unit 1");
    spoilt("protocol id 1", 3, setByte(3, 1), "the device answered with protocol id 1, not 0");
    spoilt("transaction id", 3, setByte(1, 99), "the device answered transaction 99, asked transaction 3");
    spoilt("function code", 3, setByte(7, 3), "the device answered with function code 3, asked 16");
    spoilt("MBAP length one short", 3, setByte(5, 5), "the device answered with MBAP length 5 for an answer of 6 bytes");
    spoilt("MBAP length one long", 3, setByte(5, 7), "the device answered with MBAP length 7 for an answer of 6 bytes");
    spoilt("MBAP length 0", 3, setByte(5, 0), "the device answered with MBAP length 0, outside 3..254");
    spoilt("echoed start", 33, setByte(9, 0x7f), "the device echoed start address");
    spoilt("echoed count", 33, setByte(11, 3), "the device echoed a count of 3 registers, asked 21");
    spoilt("a doubled answer", 3, [](int fd, const Bytes &answer) { sendAll(fd, answer + answer); },
           "the device sent 12 bytes more than its answer");
    // 12 bytes at 150 ms each: every byte within the timeout, the answer not.
    spoilt("an answer a byte at a time", 3,
           [](int fd, const Bytes &answer) {
               for (char byte : answer) {
                   ::send(fd, &byte, 1, MSG_NOSIGNAL);
                   std::this_thread::sleep_for(std::chrono::milliseconds(150));
               }
           },
           "no answer within 1000 ms");
}

// A download fails in one line at the request that went wrong, which names its variables,
// the endpoint and what happened, and no request follows it: nothing is retried.
void TestModbusWire::failedDownloads()
{
    QFETCH(devsim::FaultOptions, faults);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(int, at);
    QFETCH(SpoilingProxy::Spoil, spoil);
    QFETCH(QString, what);

    const int proxyPort = spoil ? freeLoopbackPort() : 0;
    Loopback client(from, to, proxyPort);
    std::optional<SpoilingProxy> proxy;
    if (spoil)
        proxy.emplace(proxyPort, client.port, at, spoil);
    std::vector<devsim::DeviceServer::Request> seen;
    const DownloadResult result = client.download(faults, &seen);
    const QString &message = result.errorString;
    QVERIFY2(result.status == DownloadResult::Status::Failed && !message.contains(u'\n'), qPrintable(message));
    QVERIFY2(message.contains(what.arg(spoil ? proxyPort : client.port)), qPrintable(message));
    QVERIFY2(result.failedName.startsWith(QStringLiteral("Printer1.")) && message.contains(result.failedName),
             qPrintable(message));
    QCOMPARE(int(seen.size()), at);
    QVERIFY2(at == 0 || holdsTheFirstRegister(client, result.failedName, seen.back()), qPrintable(message));
}

// Wherever the device closes the connection, the download fails at that request and
// retries nothing.
void TestModbusWire::droppedAtEveryRequest()
{
    Loopback device;
    std::vector<devsim::DeviceServer::Request> all;
    QVERIFY(device.download({}, &all).ok());
    QVERIFY(all.size() > 100);
    const QString closed = QStringLiteral("127.0.0.1:%1 (unit 1) failed: the device closed the connection").arg(device.port);
    for (int n = 1; n <= int(all.size()); ++n) {
        std::vector<devsim::DeviceServer::Request> seen;
        const DownloadResult result = device.download({.dropAt = n}, &seen);
        const QByteArray where = "dropped at request " + QByteArray::number(n) + ": " + result.errorString.toUtf8();
        QVERIFY2(int(seen.size()) == n && result.status == DownloadResult::Status::Failed, where);
        QVERIFY2(result.errorString.contains(result.failedName) && result.errorString.contains(closed), where);
        QVERIFY2(holdsTheFirstRegister(device, result.failedName, seen.back()), where);
    }
}

namespace {

// A TCP frame for unit 1: transaction 1, protocol 0, the length (the PDU's, or `length`).
Bytes frame(const Bytes &pdu, int length = -1)
{
    Bytes f;
    ModbusPdu::appendWord(f, 1);
    ModbusPdu::appendWord(f, 0);
    ModbusPdu::appendWord(f, length < 0 ? int(pdu.size()) + 1 : length);
    f.append(char(1));
    return f + pdu;
}

// A write of `count` registers whose byte count and data say the same.
Bytes writeOf(int count)
{
    QList<quint16> values(count, 0);
    return ModbusPdu::writeRequest(0, values.constData(), count);
}

// Requests sent one after another, each with the PDU its answer must carry ("" when the
// simulator must close the connection instead).
using Exchange = QList<std::pair<Bytes, Bytes>>;

} // namespace

void TestModbusWire::framing_data()
{
    QTest::addColumn<int>("dropAt");
    QTest::addColumn<Exchange>("exchange");

    const Bytes read1 = ModbusPdu::readRequest(0, 1);
    const Bytes zero = "03020000"; // the answers in hex
    // An FC16 write of 0x0901 to register 0 behind function 43.
    const Bytes hidden = Bytes::fromHex("2b") + ModbusPdu::writeRequest(0, std::array<quint16, 1>{0x0901}.data(), 1);
    QTest::newRow("a write behind another function") << 0 << Exchange{{frame(hidden), "ab01"}, {frame(read1), zero}};
    QTest::newRow("length 0") << 0 << Exchange{{frame(read1, 0), {}}};
    QTest::newRow("length 65535") << 0 << Exchange{{frame(read1, 65535), {}}};
    QTest::newRow("a read with a byte too many") << 0 << Exchange{{frame(read1 + '\0'), "8303"}, {frame(read1), zero}};
    QTest::newRow("a byte count that disagrees")
        << 0 << Exchange{{frame(Bytes::fromHex("1000000002020001")), "9003"}, {frame(read1), zero}};
    QTest::newRow("123 registers") << 0 << Exchange{{frame(writeOf(123)), "100000007b"}};
    QTest::newRow("124 registers") << 0 << Exchange{{frame(writeOf(124)), "9003"}, {frame(read1), zero}};
    QTest::newRow("127 registers") << 0 << Exchange{{frame(writeOf(127)), "9003"}};
    QTest::newRow("function 0x80") << 0 << Exchange{{frame(Bytes::fromHex("80")), "8001"}};
    QTest::newRow("function 0xc3") << 0 << Exchange{{frame(Bytes::fromHex("c300000001")), "c301"}};
    // Two reads in one frame are one request: the next one is the second the device counts.
    QTest::newRow("two requests in one frame count once")
        << 2 << Exchange{{frame(read1 + read1), "8303"}, {frame(read1), {}}};
}

void TestModbusWire::framing()
{
    QFETCH(int, dropAt);
    QFETCH(Exchange, exchange);

    Loopback device;
    const Served served(device.nodes, {.dropAt = dropAt});
    const int fd = connectLoopback(device.port);
    for (const auto &[request, answer] : exchange) {
        sendAll(fd, request);
        const Bytes got = receiveFrame(fd);
        if (got.mid(7).toHex() != answer)
            ::close(fd);
        QCOMPARE(got.mid(7).toHex(), answer);
    }
    ::close(fd);
}

// A first line of 250 characters: its string takes 126 registers, more than one request
// carries.
void TestModbusWire::aStringLongerThanOneRequest()
{
    LayoutData layout = fullLayout();
    layout.text.replace(0, layout.text.indexOf(u'\r'), QString(250, u'x'));
    Loopback device;
    const Served served(device.nodes);
    const DownloadResult result = device.downloadTo(QStringLiteral("Printer1"), layout);
    QVERIFY2(result.ok(), qPrintable(result.errorString));
}

// The timeout bounds the connection and each whole answer: at the default second, an
// answer after 700 ms is in time and one after 1300 ms is not.
void TestModbusWire::timeouts()
{
    Loopback device;
    ModbusEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = device.port;
    for (const auto &[delay, error] : {std::pair(700, QString()), std::pair(1300, QStringLiteral("no answer within 1000 ms"))}) {
        const Served served(device.nodes, {.delayMs = delay});
        ModbusTransport transport(endpoint, 1);
        quint16 value = 1;
        QCOMPARE(transport.read(0, 1, &value).value_or(QString()), error);
    }

    // A listener whose queue is full takes no further connection.
    const int listener = listenLoopback(0, 0);
    sockaddr_in address{};
    socklen_t size = sizeof address;
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) == 0 && address.sin_port);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr *>(&address), size);
    }
    endpoint.port = ntohs(address.sin_port);
    endpoint.timeoutMs = 300;
    ModbusTransport transport(endpoint, 1);
    quint16 value = 0;
    QCOMPARE(transport.read(0, 1, &value).value_or(QString()), QStringLiteral("no connection within 300 ms"));
    for (int fd : queued)
        ::close(fd);
    ::close(listener);
}

// Connections that say nothing are closed after the idle time, so that a full house of
// them does not keep a download out.
void TestModbusWire::idleConnectionsLockNobodyOut()
{
    Loopback device;
    std::vector<int> idle;
    const DownloadResult result = device.download({.idleMs = 300}, nullptr, nullptr, [&] {
        for (int i = 0; i < 256; ++i)
            idle.push_back(connectLoopback(device.port));
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    });
    for (int fd : idle)
        ::close(fd);
    QVERIFY2(result.ok(), qPrintable(result.errorString));
}

QTEST_GUILESS_MAIN(TestModbusWire)
#include "tst_modbus_wire.moc"
