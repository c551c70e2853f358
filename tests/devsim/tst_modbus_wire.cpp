// The Modbus client's wire: every answer is held against its request field by field and
// must be in whole within the timeout, and an answer that does not fit fails the request
// it came with, never a later one. And the simulator's own framing: a request is what its
// header says it is.

#include "DevsimSupport.h"

#include "modbus/ModbusTransport.h"
#include "device/PortVariables.h"

#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>

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

// Stands between the client and the simulator and spoils the `at`-th answer as `spoil` says.
class SpoilingProxy
{
public:
    using Spoil = std::function<void(int fd, Bytes answer)>;

    SpoilingProxy(int port, int serverPort, int at, Spoil spoil)
        : port(port)
        , m_at(at)
        , m_spoil(std::move(spoil))
        , m_listen(listenLoopback(port, 4))
    {
        m_thread = std::thread([this, serverPort] { relay(serverPort); });
    }
    ~SpoilingProxy()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }

    const int port;

private:
    void relay(int serverPort)
    {
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = connectLoopback(serverPort);
        for (int n = 1;; ++n) {
            const Bytes request = receiveFrame(client);
            if (request.isEmpty())
                break;
            sendAll(server, request);
            const Bytes answer = receiveFrame(server);
            if (answer.isEmpty())
                break;
            (n == m_at ? m_spoil : sendAll)(client, answer);
        }
        ::close(server);
        ::close(client);
    }

    int m_at = 0;
    Spoil m_spoil;
    int m_listen = -1;
    std::thread m_thread;
};

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

class TestModbusWire : public QObject
{
    Q_OBJECT

private slots:
    void spoiltAnswers_data();
    void spoiltAnswers();
    void framing_data();
    void framing();
    void downloadsThatFit_data();
    void downloadsThatFit();
    void timeouts();
    void idleConnectionsLockNobodyOut();
};

void TestModbusWire::spoiltAnswers_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<SpoilingProxy::Spoil>("spoil");
    QTest::addColumn<QString>("what");

    // Answer 33 is the first write that joins variables (element 1's twelve one-register
    // members and element 2's name; answer 1 is the download state's); the header is 7
    // bytes, an FC16 echo 5 more.
    auto row = [](const char *name, int at, SpoilingProxy::Spoil spoil, const char *what) {
        QTest::newRow(name) << at << spoil << QString::fromLatin1(what);
    };
    row("another unit", 3, setByte(6, 7), "the device answered for unit 7, asked unit 1");
    row("protocol id 1", 3, setByte(3, 1), "the device answered with protocol id 1, not 0");
    row("transaction id", 3, setByte(1, 99), "the device answered transaction 99, asked transaction 3");
    row("function code", 3, setByte(7, 3), "the device answered with function code 3, asked 16");
    row("MBAP length one short", 3, setByte(5, 5), "the device answered with MBAP length 5 for an answer of 6 bytes");
    row("MBAP length one long", 3, setByte(5, 7), "the device answered with MBAP length 7 for an answer of 6 bytes");
    row("MBAP length 0", 3, setByte(5, 0), "the device answered with MBAP length 0, outside 3..254");
    row("echoed start", 33, setByte(9, 0x7f), "the device echoed start address");
    row("echoed count", 33, setByte(11, 3), "the device echoed a count of 3 registers, asked 21");
    row("a doubled answer", 3,
        [](int fd, const Bytes &answer) { sendAll(fd, answer + answer); },
        "the device sent 12 bytes more than its answer");
    // 12 bytes at 150 ms each: every byte within the timeout, the answer not.
    row("an answer a byte at a time", 3,
        [](int fd, const Bytes &answer) {
            for (char byte : answer) {
                ::send(fd, &byte, 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            }
        },
        "no answer within 1000 ms");
}

// The spoilt answer fails the request it answers, whose variables the message names, and
// no request follows it.
void TestModbusWire::spoiltAnswers()
{
    QFETCH(int, at);
    QFETCH(SpoilingProxy::Spoil, spoil);
    QFETCH(QString, what);

    const int proxyPort = freeLoopbackPort();
    Loopback client({}, {}, proxyPort);
    SpoilingProxy proxy(proxyPort, client.port, at, spoil);
    std::vector<devsim::DeviceServer::Request> seen;
    const DownloadResult result = client.download({}, &seen);
    const QString &message = result.errorString;
    QVERIFY2(result.status == DownloadResult::Status::Failed, qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("127.0.0.1:%1 (unit 1) failed: %2").arg(proxy.port).arg(what)), qPrintable(message));
    QCOMPARE(int(seen.size()), at);
    const PrinterPort &printer1 = *client.network->findPort(QStringLiteral("Printer1"));
    const auto place = PortVariables::placeOf(printer1, result.failedName);
    QVERIFY2(place && place->firstRegister >= seen.back().address
                 && place->firstRegister < seen.back().address + seen.back().count,
             qPrintable(message));
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

void TestModbusWire::downloadsThatFit_data()
{
    QTest::addColumn<LayoutData>("layout");
    QTest::addColumn<QString>("port");
    // A first line of 250 characters: its string takes 126 registers.
    LayoutData longLine = fullLayout();
    longLine.text.replace(0, longLine.text.indexOf(u'\r'), QString(250, u'x'));
    QTest::newRow("a string longer than one request carries") << longLine << "Printer1";
    // The full ticket cut to what the small Printer2 holds, fields on its 5 lines: read
    // back to the port's last register, not beyond it.
    LayoutData cut = fullLayout();
    cut.TicketLines = 5;
    cut.text = cut.text.section(QStringLiteral("\r\n"), 0, 4);
    for (int n = 1; n <= LayoutData::LastSlot; ++n)
        cut.UpdateBoxes[n].Linie = qint16((n - 1) % 5);
    QTest::newRow("a port of 40-byte strings") << cut << "Printer2";
}

void TestModbusWire::downloadsThatFit()
{
    QFETCH(LayoutData, layout);
    QFETCH(QString, port);
    Loopback device;
    const Served served(device.nodes);
    const DownloadResult result = device.downloadTo(port, layout);
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
