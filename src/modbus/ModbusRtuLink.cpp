#include "ModbusRtuLink.h"

#include "modbus/ModbusPdu.h"

#include <modbus.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace tkl {

namespace {

// Whose turn it is on each serial line of this process, by path. A turn may end on
// another thread than the one that took it (a download's object is closed where it is
// destroyed), so it is a flag under a lock rather than a held mutex.
std::mutex turnsLock;
std::condition_variable turnEnded;
std::set<QString> busyLines;

void takeTurn(const QString &path)
{
    std::unique_lock lock(turnsLock);
    turnEnded.wait(lock, [&] { return !busyLines.contains(path); });
    busyLines.insert(path);
}

void endTurn(const QString &path)
{
    {
        std::lock_guard lock(turnsLock);
        busyLines.erase(path);
    }
    turnEnded.notify_all();
}

QString hex(int value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

ModbusRtuLink::ModbusRtuLink(const ModbusEndpoint &endpoint)
    : ModbusLink(endpoint)
{
}

ModbusRtuLink::~ModbusRtuLink()
{
    close();
}

int ModbusRtuLink::frameGapMicros(const ModbusEndpoint &endpoint)
{
    // Above 19200 baud the gap is fixed, so that fast lines need no sub-millisecond timing.
    if (endpoint.baud > 19200)
        return 1750;
    const int bitsPerChar = 1 + endpoint.dataBits + (endpoint.parity == 'N' ? 0 : 1) + endpoint.stopBits;
    return int((3.5 * bitsPerChar * 1'000'000) / endpoint.baud + 0.5);
}

void ModbusRtuLink::close()
{
    if (m_ctx) {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
    }
    m_ctx = nullptr;
    m_fd = -1;
    if (std::exchange(m_hasTurn, false))
        endTurn(m_endpoint.serial);
}

std::optional<QString> ModbusRtuLink::open()
{
    takeTurn(m_endpoint.serial);
    m_hasTurn = true;
    const QByteArray path = m_endpoint.serial.toLocal8Bit();
    m_ctx = modbus_new_rtu(path.constData(), m_endpoint.baud, m_endpoint.parity, m_endpoint.dataBits,
                           m_endpoint.stopBits);
    if (!m_ctx || modbus_connect(m_ctx) == -1) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        close();
        return QStringLiteral("cannot open the serial line (%1)").arg(why);
    }
    m_fd = modbus_get_socket(m_ctx);
    // What the line held before this session answers nothing of ours.
    ::tcflush(m_fd, TCIOFLUSH);
    m_lastFrame = std::chrono::steady_clock::now();
    return std::nullopt;
}

ModbusLink::Received ModbusRtuLink::take(char *into, qsizetype size, const QDeadlineTimer &deadline)
{
    qsizetype got = 0;
    while (got < size) {
        // The deadline bounds the whole answer, however slowly its bytes trickle in.
        pollfd p{m_fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), 1 << 30)));
        if (rc == 0)
            return Received::TimedOut;
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN)))
            return Received::Failed;
        // A serial line reads 0 bytes when nothing is there: it has no end to close.
        const ssize_t n = ::read(m_fd, into + got, size_t(size - got));
        if (n > 0)
            got += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return Received::Failed;
    }
    return Received::All;
}

int ModbusRtuLink::takeUntilSilence()
{
    const int gapMs = (frameGapMicros(m_endpoint) + 999) / 1000;
    int taken = 0;
    char buffer[256];
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, gapMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return rc < 0 ? -1 : taken;
        if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
            return -1;
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            taken += int(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return -1;
        else if (n == 0)
            return taken;
    }
}

std::optional<QString> ModbusRtuLink::exchange(int unit, const QByteArray &pdu, QByteArray *reply)
{
    // The silence that ends the frame before, then nothing may wait on the line.
    const auto gap = std::chrono::microseconds(frameGapMicros(m_endpoint));
    std::this_thread::sleep_until(m_lastFrame + gap);
    if (const int stray = takeUntilSilence(); stray != 0)
        return stray < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                         : QStringLiteral("the line carried %1 bytes that answer no request").arg(stray);

    QByteArray frame;
    frame.append(char(unit));
    frame += pdu;
    const quint16 crc = ModbusPdu::crc16(frame.constData(), frame.size());
    frame.append(char(crc & 0xff)); // the CRC goes low byte first
    frame.append(char(crc >> 8));
    for (qsizetype sent = 0; sent < frame.size();) {
        const ssize_t n = ::write(m_fd, frame.constData() + sent, size_t(frame.size() - sent));
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return QString::fromLocal8Bit(std::strerror(errno));
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, m_endpoint.timeoutMs);
    }
    ::tcdrain(m_fd);

    const QDeadlineTimer deadline(m_endpoint.timeoutMs);
    QByteArray answer(2, '\0');
    if (const Received r = take(answer.data(), 2, deadline); r != Received::All)
        return receiveFailure(r);
    const int function = quint8(answer.at(1));
    int due = function != quint8(pdu.at(0)) && function != (quint8(pdu.at(0)) | 0x80) ? -1
                                                                                        : ModbusPdu::replyLength(answer.mid(1));
    if (due == 0) {
        answer.resize(3);
        if (const Received r = take(answer.data() + 2, 1, deadline); r != Received::All)
            return receiveFailure(r);
        due = ModbusPdu::replyLength(answer.mid(1));
    }
    if (due < 0) {
        takeUntilSilence();
        m_lastFrame = std::chrono::steady_clock::now();
        return QStringLiteral("the device answered with function code %1, asked %2")
            .arg(quint8(answer.at(1)))
            .arg(quint8(pdu.at(0)));
    }
    const qsizetype head = answer.size();
    answer.resize(1 + due + 2);
    if (const Received r = take(answer.data() + head, answer.size() - head, deadline); r != Received::All)
        return receiveFailure(r);
    const int extra = takeUntilSilence();
    m_lastFrame = std::chrono::steady_clock::now();

    const quint16 computed = ModbusPdu::crc16(answer.constData(), answer.size() - 2);
    const quint16 carried = quint16(quint8(answer.at(answer.size() - 2)) | (quint8(answer.back()) << 8));
    if (computed != carried)
        return QStringLiteral("the answer's CRC is %1, its bytes give %2").arg(hex(carried), hex(computed));
    if (const int answered = quint8(answer.at(0)); answered != unit)
        return QStringLiteral("the device answered for unit %1, asked unit %2").arg(answered).arg(unit);
    if (extra > 0)
        return QStringLiteral("the device sent %1 bytes more than its answer").arg(extra);
    *reply = answer.mid(1, due);
    return std::nullopt;
}

} // namespace tkl
