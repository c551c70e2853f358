#include "TicketDownload.h"

#include "AutomationFactory.h"
#include "model/TicketModel.h"

#include <QStringBuilder>

#include <limits>

namespace tkl {

namespace {

// A value that does not fit the device variable's type: reported like a refused write.
struct ConversionError
{
    QString text;
};

QVariant int16(int value, const QString &name)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw ConversionError{QStringLiteral("Value %1 does not fit the 16-bit variable \"%2\"").arg(value).arg(name)};
    return QVariant::fromValue(qint16(value));
}

QString codeOrCr(const QString &code)
{
    return code.isEmpty() ? QString(QChar(13)) : code;
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
        current.clear();
    }

    QString current;
    int done = 0;

private:
    AutomationObject &m_server;
};

TicketDownload::TicketDownload(AutomationFactory &factory)
    : m_factory(factory)
{
}

DownloadResult TicketDownload::run(const TicketModel &model, const QStringList &boxLines, const QString &port,
                                   const Callbacks &callbacks)
{
    if (m_running)
        return {DownloadResult::Status::Refused, QStringLiteral("A download is already running"), {}, 0};

    // Cleared on every way out, also when a callback throws.
    struct RunningFlag
    {
        bool &flag;
        explicit RunningFlag(bool &f) : flag(f) { flag = true; }
        ~RunningFlag() { flag = false; }
    } running(m_running);

    try {
        m_server = m_factory.create(AutomationFactory::ServerProgId);
    } catch (const AutomationError &e) {
        return {DownloadResult::Status::Failed, e.text(), {}, 0};
    }

    AutomationObject &server = *m_server;
    Writer writer(server);
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
        // Names are built once per element: the writes themselves are cheap, so this shows.
        auto prefix = [&port](int n) -> QString { return port % u".UpdateArr[" % QString::number(n) % u"]."; };

        for (int n = first; n <= last; ++n) {
            progress(n * 100.0 / steps);
            writer.write(prefix(n) % u"DataIn", false);
        }

        for (int n = first; n <= last; ++n) {
            processEvents();
            progress((n + TicketModel::SlotCount) * 100.0 / steps);
            const UpdateBox &box = model.UpdateBoxes[n];
            if (!box.DataIn)
                continue;
            const QString element = prefix(n);
            writer.write(element % u"VarName", box.VarName);
            writer.write(element % u"NodeAdr", QVariant::fromValue(box.NodeAdr));
            writer.write(element % u"SWNo", QVariant::fromValue(box.SWNo));
            writer.write(element % u"Offset", QVariant::fromValue(box.Offset));
            writer.write(element % u"Typ", QVariant::fromValue(box.Typ));
            writer.write(element % u"BitNo", QVariant::fromValue(box.BitNo));
            writer.write(element % u"Code", QVariant::fromValue(box.Code));
            writer.write(element % u"DevType", QVariant::fromValue(box.DevType));
            writer.write(element % u"Chars", QVariant::fromValue(box.Chars));
            writer.write(element % u"Digits", QVariant::fromValue(box.Digits));
            writer.write(element % u"DataIn", true);
            // The device counts lines from 1.
            writer.current = element % u"Linie";
            writer.write(writer.current, int16(int(box.Linie) + 1, writer.current));
            writer.write(element % u"Pos", QVariant::fromValue(box.Pos));
        }

        writer.current = port + QStringLiteral(".lines");
        const int lineCount = int(std::min<qsizetype>(boxLines.size(), std::numeric_limits<int>::max()));
        writer.write(writer.current, int16(lineCount, writer.current));
        for (qsizetype n = 1; n <= boxLines.size(); ++n)
            writer.write(port % u".Ticket[" % QString::number(n) % u']', boxLines.at(n - 1));

        writer.write(port + QStringLiteral(".PrintCode.start"), codeOrCr(model.StartCode));
        writer.write(port + QStringLiteral(".PrintCode.stop"), codeOrCr(model.StopCode));
    } catch (const AutomationError &e) {
        return {DownloadResult::Status::Failed, e.text(), writer.current, writer.done};
    } catch (const ConversionError &e) {
        return {DownloadResult::Status::Failed, e.text, writer.current, writer.done};
    }
    return {DownloadResult::Status::Done, {}, {}, writer.done};
}

} // namespace tkl
