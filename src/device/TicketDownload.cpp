#include "TicketDownload.h"

#include "AutomationFactory.h"
#include "LayoutChecksum.h"
#include "PortRules.h"
#include "PortVariables.h"
#include "NetworkCatalogue.h"
#include "model/TicketModel.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QStringBuilder>

#include <limits>
#include <optional>
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

void reportProgress(const TicketDownload::Callbacks &callbacks, double percent)
{
    if (callbacks.progress)
        callbacks.progress(percent);
}

// The caller's word to stop, taken between two requests.
struct Cancelled
{
};

// Set while a download runs; cleared on every way out, also when a callback throws.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~RunningFlag() { m_flag = false; }

    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &m_flag;
};

// Ends the server's session however the download ends. The connection to a real device
// ends with the download. The simulated devices remember what they were sent, also when
// the run stops half-way, and whether it did; a real device keeps it itself, and its
// download touches nothing of the shared network (so that downloads to several real
// devices may run at once): `simulated` is nullptr for it.
struct SessionEnd
{
    AutomationObject &server;
    AutomationFactory *simulated;
    const QString &port;
    bool finished = false;

    ~SessionEnd()
    {
        server.close();
        if (simulated)
            simulated->simulatedDownloadEnded(port, finished);
    }
};

// The download refused because the ticket breaks a rule of the port's device; nothing
// when it breaks none, or the network does not know the port.
std::optional<DownloadResult> rejected(const NetworkCatalogue &network, const TicketModel &model,
                                       const QStringList &boxLines, const QString &port)
{
    const PrinterPort *known = network.findPort(port);
    if (!known)
        return std::nullopt;
    QList<LayoutFinding> errors = PortRules::check(model, boxLines, *known);
    if (errors.isEmpty())
        return std::nullopt;
    const LayoutFinding first = errors.first();
    return DownloadResult{DownloadResult::Status::Rejected, first.message, first.variable, 0, std::move(errors), {}};
}

// Makes the two property writes of every device write and remembers what it wrote.
class Writer
{
public:
    Writer(AutomationObject &server, const QString &port, const std::function<bool()> &cancelled)
        : m_server(server)
        , m_port(port)
        , m_cancelled(cancelled)
    {
    }

    // `name` may be `current` itself, which is set before a value is converted.
    void write(QString name, const QVariant &value)
    {
        stopIfCancelled();
        writeUncancelled(std::move(name), value);
    }

    // A write that no cancel comes between: the finished state and the checksum go out
    // together or not at all.
    void writeUncancelled(QString name, const QVariant &value)
    {
        current = name;
        m_server.setProperty(QStringLiteral("PhysId"), name);
        m_server.setProperty(QStringLiteral("Value"), value);
        ++done;
        m_written.append({name, value});
        current.clear();
    }

    // A real device is told first that its ticket is being replaced, so that neither it
    // nor anyone reading it takes a half-written ticket for a finished one.
    void markStarted()
    {
        write(PortVariables::downloadStateName(m_port), QVariant::fromValue(qint16(PortVariables::DownloadState::Started)));
    }

    // Once everything read back as written: the checksum of it and the finished state,
    // which the device gets in one request (the checksum's registers follow the state's).
    void markFinished(const PrinterPort &port)
    {
        const quint32 checksum = LayoutChecksum::of(port, m_written);
        stopIfCancelled();
        writeUncancelled(PortVariables::downloadStateName(m_port),
                         QVariant::fromValue(qint16(PortVariables::DownloadState::Finished)));
        writeUncancelled(PortVariables::checksumName(m_port), QVariant::fromValue(checksum));
        m_server.sync();
    }

    // DataIn of every element cleared, also those beyond the layout's slots, which a field
    // of an earlier layout may still hold: the first half of the progress.
    void clearSlots(const TicketDownload::Callbacks &callbacks, int elements)
    {
        for (int n = TicketModel::FirstSlot; n <= std::max<int>(elements, TicketModel::LastSlot); ++n) {
            if (n <= TicketModel::LastSlot)
                reportProgress(callbacks, n * 100.0 / Steps);
            write(PortVariables::elementName(m_port, n, PortVariables::Member::DataIn), false);
        }
    }

    // The members of every defined slot: the second half of the progress.
    void writeFields(const TicketModel &model, const TicketDownload::Callbacks &callbacks)
    {
        for (int n = TicketModel::FirstSlot; n <= TicketModel::LastSlot; ++n) {
            reportProgress(callbacks, (n + TicketModel::SlotCount) * 100.0 / Steps);
            if (model.UpdateBoxes[n].DataIn)
                writeField(n, model.UpdateBoxes[n]);
        }
    }

    // The line count, the ticket lines, and the start and stop codes.
    void writeLinesAndCodes(const TicketModel &model, const QStringList &boxLines)
    {
        using namespace PortVariables;
        current = linesName(m_port);
        const int lineCount = int(std::min<qsizetype>(boxLines.size(), std::numeric_limits<int>::max()));
        write(current, int16(lineCount, current));
        for (qsizetype n = 1; n <= boxLines.size(); ++n)
            write(ticketName(m_port, int(n)), boxLines.at(n - 1));
        write(startCodeName(m_port), codeOrCr(model.StartCode));
        write(stopCodeName(m_port), codeOrCr(model.StopCode));
    }

    // Reads every variable of the ticket written back and compares it with the value
    // last written to it, in the order of those last writes. Throws DownloadError at the first
    // difference; a refused read throws the server's AutomationError.
    void readBack()
    {
        QHash<QString, qsizetype> last;
        last.reserve(m_written.size());
        for (qsizetype i = 0; i < m_written.size(); ++i)
            last.insert(m_written.at(i).first, i);
        for (qsizetype i = 0; i < m_written.size(); ++i) {
            const auto &[name, value] = m_written.at(i);
            // The state is the device's answer to the download, not part of the ticket; its
            // write was answered, and reading it back would cost a request of its own.
            if (last.value(name) != i || name == PortVariables::downloadStateName(m_port))
                continue;
            stopIfCancelled();
            current = name;
            m_server.setProperty(QStringLiteral("PhysId"), name);
            const QVariant read = m_server.property(QStringLiteral("Value"));
            if (!TicketDownload::readsAsWritten(value, read)) {
                throw DownloadError{QStringLiteral("Read-back of %1 gave %2 where %3 was written")
                                        .arg(name, shownValue(read), shownValue(value))};
            }
            current.clear();
        }
    }

    // The download stopped by the server's `error`, `readingBack` when it came while
    // the written variables were being read back.
    DownloadResult failure(const AutomationError &error, bool readingBack)
    {
        // A server that joins writes reports a failed write request at a later access
        // (also the first read): the writes from the one it names on were not made.
        if (!error.physId().isEmpty() && error.physId() != current) {
            failedAt(error.physId());
            readingBack = false;
        }
        const QString text = readingBack
            ? QStringLiteral("Read-back of %1 failed: %2").arg(current, error.text())
            : error.text();
        return {DownloadResult::Status::Failed, text, current, done, {}, {}};
    }

    // The writes made, in order, for a list of them.
    QList<WriteRecord> writeRecords() const
    {
        QList<WriteRecord> records;
        records.reserve(m_written.size());
        for (const auto &[name, value] : m_written)
            records.append({name, typeOf(value), value});
        return records;
    }

    // What the device holds once the download stopped at the caller's word.
    QString cancelledText(const QString &port) const
    {
        using namespace PortVariables;
        const QString last = m_written.isEmpty() ? QString() : m_written.last().first;
        const QString head = QStringLiteral("Download cancelled after %1 writes. ").arg(done);
        if (last.isEmpty())
            return QStringLiteral("Download cancelled before the first write: the device of %1 still holds the "
                                  "ticket it held before.").arg(port);
        if (readingBack)
            return head + QStringLiteral("The device of %1 holds the whole new ticket, but it was not read back "
                                         "to be verified.").arg(port);
        const QString part = QStringLiteral("The device of %1 now holds part of the new ticket, up to %2, and the "
                                            "rest of the one before; it will not print either as laid out. "
                                            "Download again to finish.");
        return head + part.arg(port, last);
    }

    bool readingBack = false;
    QString current;
    int done = 0;

private:
    void stopIfCancelled() const
    {
        if (m_cancelled && m_cancelled())
            throw Cancelled{};
    }

    static ValueType typeOf(const QVariant &value)
    {
        switch (value.metaType().id()) {
        case QMetaType::Bool: return ValueType::Boolean;
        case QMetaType::UChar: return ValueType::UInt8;
        case QMetaType::Short: return ValueType::Int16;
        case QMetaType::UInt: return ValueType::UInt32;
        default: return ValueType::String;
        }
    }

    static constexpr double Steps = 2 * TicketModel::SlotCount;

    // The 13 members of slot `n`, in the order the device takes them.
    void writeField(int n, const UpdateBox &box)
    {
        using M = PortVariables::Member;
        auto put = [&](M member, const QVariant &value) { write(PortVariables::elementName(m_port, n, member), value); };
        put(M::VarName, box.VarName);
        put(M::NodeAdr, QVariant::fromValue(box.NodeAdr));
        put(M::SWNo, QVariant::fromValue(box.SWNo));
        put(M::Offset, QVariant::fromValue(box.Offset));
        put(M::Typ, QVariant::fromValue(box.Typ));
        put(M::BitNo, QVariant::fromValue(box.BitNo));
        put(M::Code, QVariant::fromValue(box.Code));
        put(M::DevType, QVariant::fromValue(box.DevType));
        put(M::Chars, QVariant::fromValue(box.Chars));
        put(M::Digits, QVariant::fromValue(box.Digits));
        put(M::DataIn, true);
        // The device counts lines from 1.
        current = PortVariables::elementName(m_port, n, M::Linie);
        write(current, int16(int(box.Linie) + 1, current));
        put(M::Pos, QVariant::fromValue(box.Pos));
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

    AutomationObject &m_server;
    const QString &m_port;
    const std::function<bool()> &m_cancelled;
    QList<std::pair<QString, QVariant>> m_written;
};

// Takes every write and holds nothing: what a download would send, without a device.
class RecordingServer : public AutomationObject
{
public:
    void setProperty(const QString &, const QVariant &) override {}
    QVariant property(const QString &) override { return {}; }
};

} // namespace

std::optional<QList<std::pair<QString, QVariant>>> TicketDownload::plannedWrites(const TicketModel &model,
                                                                                  const QStringList &boxLines,
                                                                                  const PrinterPort &port,
                                                                                  QString *error)
{
    const QList<LayoutFinding> findings = PortRules::check(model, boxLines, port);
    if (!findings.isEmpty()) {
        if (error)
            *error = findings.first().variable + QStringLiteral(": ") + findings.first().message;
        return std::nullopt;
    }
    RecordingServer recorder;
    // The writer keeps the cancel check by reference: it must outlive the writer.
    const std::function<bool()> neverCancelled;
    Writer writer(recorder, port.name, neverCancelled);
    try {
        writer.clearSlots({}, port.updateElements);
        writer.writeFields(model, {});
        writer.writeLinesAndCodes(model, boxLines);
    } catch (const DownloadError &e) {
        if (error)
            *error = e.text;
        return std::nullopt;
    }
    // The last value of each variable, by where it lies in the device.
    QMap<int, std::pair<QString, QVariant>> byRegister;
    for (const WriteRecord &w : writer.writeRecords()) {
        if (const auto place = PortVariables::placeOf(port, w.name))
            byRegister.insert(place->firstRegister, {w.name, w.value});
    }
    return byRegister.values();
}

bool TicketDownload::readsAsWritten(const QVariant &written, const QVariant &read)
{
    if (written.metaType().id() == QMetaType::QString)
        return read.metaType().id() == QMetaType::QString && read.toString() == written.toString();
    if (!isNumber(read))
        return false;
    if (written.metaType().id() == QMetaType::Bool)
        return (read.toLongLong() != 0) == written.toBool();
    return read.toLongLong() == written.toLongLong();
}

TicketDownload::TicketDownload(AutomationFactory &factory)
    : m_factory(factory)
{
}

DownloadResult TicketDownload::run(const TicketModel &model, const QStringList &boxLines, const QString &port,
                                   const Callbacks &callbacks)
{
    if (m_running)
        return {DownloadResult::Status::Refused, QStringLiteral("A download is already running"), {}, 0, {}, {}};
    const RunningFlag running(m_running);

    const NetworkCatalogue &network = m_factory.catalogue();
    if (auto refusal = rejected(network, model, boxLines, port))
        return std::move(*refusal);
    try {
        m_server = m_factory.create(AutomationFactory::ServerProgId, port);
    } catch (const AutomationError &e) {
        return {DownloadResult::Status::Failed, e.text(), {}, 0, {}, {}};
    }

    AutomationObject &server = *m_server;
    const PrinterPort *target = network.findPort(port);
    const bool simulated = !target || !network.endpointOf(*target);
    SessionEnd sessionEnd{server, simulated ? &m_factory : nullptr, port};
    Writer writer(server, port, callbacks.cancelled);
    DownloadResult result;
    try {
        server.setProperty(QStringLiteral("EnableExceptions"), true);
        if (callbacks.prepared)
            callbacks.prepared();
        reportProgress(callbacks, 0);
        if (!simulated)
            writer.markStarted();
        writer.clearSlots(callbacks, target ? target->updateElements : int(TicketModel::LastSlot));
        writer.writeFields(model, callbacks);
        writer.writeLinesAndCodes(model, boxLines);
        writer.readingBack = true;
        writer.readBack();
        writer.readingBack = false;
        if (!simulated)
            writer.markFinished(*target);
        sessionEnd.finished = true;
        result.writesDone = writer.done;
    } catch (const AutomationError &e) {
        result = writer.failure(e, writer.readingBack);
    } catch (const DownloadError &e) {
        result = {DownloadResult::Status::Failed, e.text, writer.current, writer.done, {}, {}};
    } catch (const Cancelled &) {
        result = {DownloadResult::Status::Cancelled, writer.cancelledText(port), {}, writer.done, {}, {}};
    }
    result.written = writer.writeRecords();
    return result;
}

} // namespace tkl
