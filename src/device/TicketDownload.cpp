#include "TicketDownload.h"

#include "AutomationFactory.h"
#include "PortRules.h"
#include "PortVariables.h"
#include "ProcessNetwork.h"
#include "model/TicketModel.h"

#include <QHash>
#include <QList>
#include <QStringBuilder>

#include <limits>
#include <utility>

namespace tkl {

namespace {

// A value that does not fit the device variable's type, or a device that holds something
// else than was written: reported like a refused write.
struct DownloadError
{
    QString text;
};

QVariant int16(int value, const QString &name)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw DownloadError{QStringLiteral("Value %1 does not fit the 16-bit variable \"%2\"").arg(value).arg(name)};
    return QVariant::fromValue(qint16(value));
}

bool isNumber(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::UChar:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

// A server may hand a number back in a wider type than it was written in, and a
// Boolean as a number (true as -1, as automation servers do); a string must come back
// as the same string.
bool sameValue(const QVariant &written, const QVariant &read)
{
    if (written.metaType().id() == QMetaType::QString)
        return read.metaType().id() == QMetaType::QString && read.toString() == written.toString();
    if (!isNumber(read))
        return false;
    if (written.metaType().id() == QMetaType::Bool)
        return (read.toLongLong() != 0) == written.toBool();
    return read.toLongLong() == written.toLongLong();
}

// A value in the message: quoted, control characters in the printer-code notation.
QString shownValue(const QVariant &v)
{
    if (!v.isValid())
        return QStringLiteral("nothing");
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("\"True\"") : QStringLiteral("\"False\"");
    if (isNumber(v))
        return QLatin1Char('"') + QString::number(v.toLongLong()) + QLatin1Char('"');
    QString text;
    for (QChar c : v.toString()) {
        if (c.unicode() < 32)
            text += QLatin1Char('[') + QString::number(c.unicode()) + QLatin1Char(']');
        else
            text += c;
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

// Makes the two property writes of every device write and remembers what it wrote.
class TicketDownload::Writer
{
public:
    explicit Writer(AutomationObject &server)
        : m_server(server)
    {
    }

    // `name` may be `current` itself, which is set before a value is converted.
    void write(QString name, const QVariant &value)
    {
        current = name;
        m_server.setProperty(QStringLiteral("PhysId"), name);
        m_server.setProperty(QStringLiteral("Value"), value);
        ++done;
        m_written.append({name, value});
        current.clear();
    }

    // Reads every variable written back and compares it with the value last written
    // to it, in the order of those last writes. Throws DownloadError at the first
    // difference; a refused read throws the server's AutomationError.
    void readBack()
    {
        QHash<QString, qsizetype> last;
        last.reserve(m_written.size());
        for (qsizetype i = 0; i < m_written.size(); ++i)
            last.insert(m_written.at(i).first, i);
        for (qsizetype i = 0; i < m_written.size(); ++i) {
            const auto &[name, value] = m_written.at(i);
            if (last.value(name) != i)
                continue;
            current = name;
            m_server.setProperty(QStringLiteral("PhysId"), name);
            const QVariant read = m_server.property(QStringLiteral("Value"));
            if (!sameValue(value, read)) {
                throw DownloadError{QStringLiteral("Read-back of %1 gave %2 where %3 was written")
                                        .arg(name, shownValue(read), shownValue(value))};
            }
            current.clear();
        }
    }

    // The write of `name` last made failed after all: it and everything after it did not
    // reach the device.
    void failedAt(const QString &name)
    {
        for (qsizetype i = m_written.size() - 1; i >= 0; --i) {
            if (m_written.at(i).first == name) {
                m_written.resize(i);
                done = int(i);
                current = name;
                return;
            }
        }
    }

    QString current;
    int done = 0;

private:
    AutomationObject &m_server;
    QList<std::pair<QString, QVariant>> m_written;
};

TicketDownload::TicketDownload(AutomationFactory &factory)
    : m_factory(factory)
{
}

DownloadResult TicketDownload::run(const TicketModel &model, const QStringList &boxLines, const QString &port,
                                   const Callbacks &callbacks)
{
    if (m_running)
        return {DownloadResult::Status::Refused, QStringLiteral("A download is already running"), {}, 0, {}};

    // Cleared on every way out, also when a callback throws.
    struct RunningFlag
    {
        bool &flag;
        explicit RunningFlag(bool &f) : flag(f) { flag = true; }
        ~RunningFlag() { flag = false; }
    } running(m_running);

    if (const PrinterPort *known = m_factory.network().findPort(port)) {
        QList<LayoutFinding> errors = PortRules::check(model, boxLines, *known);
        if (!errors.isEmpty()) {
            const LayoutFinding first = errors.first();
            return {DownloadResult::Status::Rejected, first.message, first.variable, 0, std::move(errors)};
        }
    }

    try {
        m_server = m_factory.create(AutomationFactory::ServerProgId, port);
    } catch (const AutomationError &e) {
        return {DownloadResult::Status::Failed, e.text(), {}, 0, {}};
    }

    AutomationObject &server = *m_server;
    Writer writer(server);
    bool readingBack = false;
    // The connection to a real device ends with the download. The simulated devices
    // remember what they were sent, also when the run stops half-way, and whether it
    // did; a real device keeps it itself, and its download touches nothing of the shared
    // network (so that downloads to several real devices may run at once).
    const PrinterPort *target = m_factory.network().findPort(port);
    const bool simulated = !target || !m_factory.network().endpointOf(*target);
    struct EndSession
    {
        AutomationObject &server;
        ProcessNetwork *network;
        const QString &port;
        bool finished = false;
        ~EndSession()
        {
            server.close();
            if (network) {
                network->recordDownloadEnd(port, finished);
                network->saveStore();
            }
        }
    } endSession{server, simulated ? &m_factory.network() : nullptr, port};
    auto progress = [&](double value) {
        if (callbacks.progress)
            callbacks.progress(value);
    };
    auto processEvents = [&] {
        if (callbacks.processEvents)
            callbacks.processEvents();
    };

    try {
        server.setProperty(QStringLiteral("EnableExceptions"), true);
        if (callbacks.prepared)
            callbacks.prepared();
        progress(0);
        processEvents();

        constexpr int first = TicketModel::FirstSlot;
        constexpr int last = TicketModel::LastSlot;
        constexpr double steps = 2 * TicketModel::SlotCount;
        using namespace PortVariables;
        using M = Member;

        for (int n = first; n <= last; ++n) {
            progress(n * 100.0 / steps);
            writer.write(elementName(port, n, M::DataIn), false);
        }

        for (int n = first; n <= last; ++n) {
            processEvents();
            progress((n + TicketModel::SlotCount) * 100.0 / steps);
            const UpdateBox &box = model.UpdateBoxes[n];
            if (!box.DataIn)
                continue;
            auto write = [&](M member, const QVariant &value) { writer.write(elementName(port, n, member), value); };
            write(M::VarName, box.VarName);
            write(M::NodeAdr, QVariant::fromValue(box.NodeAdr));
            write(M::SWNo, QVariant::fromValue(box.SWNo));
            write(M::Offset, QVariant::fromValue(box.Offset));
            write(M::Typ, QVariant::fromValue(box.Typ));
            write(M::BitNo, QVariant::fromValue(box.BitNo));
            write(M::Code, QVariant::fromValue(box.Code));
            write(M::DevType, QVariant::fromValue(box.DevType));
            write(M::Chars, QVariant::fromValue(box.Chars));
            write(M::Digits, QVariant::fromValue(box.Digits));
            write(M::DataIn, true);
            // The device counts lines from 1.
            writer.current = elementName(port, n, M::Linie);
            writer.write(writer.current, int16(int(box.Linie) + 1, writer.current));
            write(M::Pos, QVariant::fromValue(box.Pos));
        }

        writer.current = linesName(port);
        const int lineCount = int(std::min<qsizetype>(boxLines.size(), std::numeric_limits<int>::max()));
        writer.write(writer.current, int16(lineCount, writer.current));
        for (qsizetype n = 1; n <= boxLines.size(); ++n)
            writer.write(ticketName(port, int(n)), boxLines.at(n - 1));

        writer.write(startCodeName(port), codeOrCr(model.StartCode));
        writer.write(stopCodeName(port), codeOrCr(model.StopCode));
        readingBack = true;
        writer.readBack();
    } catch (const AutomationError &e) {
        // A server that joins writes reports a failed write request at a later access
        // (also the first read): the writes from the one it names on were not made.
        if (!e.physId().isEmpty() && e.physId() != writer.current) {
            writer.failedAt(e.physId());
            readingBack = false;
        }
        const QString text = readingBack
            ? QStringLiteral("Read-back of %1 failed: %2").arg(writer.current, e.text())
            : e.text();
        return {DownloadResult::Status::Failed, text, writer.current, writer.done, {}};
    } catch (const DownloadError &e) {
        return {DownloadResult::Status::Failed, e.text, writer.current, writer.done, {}};
    }
    endSession.finished = true;
    return {DownloadResult::Status::Done, {}, {}, writer.done, {}};
}

} // namespace tkl
