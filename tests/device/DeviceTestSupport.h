#pragma once

#include "network/NetworkFactory.h"
#include "simulated/DeviceFaults.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "model/TicketModel.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace tkl::test {

/// Faults of the simulated devices, installed into a network for as long as it lives.
class ScriptedFaults : public DeviceFaults
{
public:
    explicit ScriptedFaults(ProcessNetwork &network)
        : m_network(network)
    {
        network.setFaults(this);
    }
    ~ScriptedFaults() override { m_network.setFaults(nullptr); }

    /// Makes the `n`-th write attempt from now fail (1 = the next one); 0 disarms.
    void failWriteAt(int n) { m_countdown = std::max(0, n); }

    /// From now on reading `name` gives `value` (invalid: as if it held nothing).
    void corruptOnReadBack(const QString &name, const QVariant &value) { m_reads.insert(name, value); }

    std::optional<QString> refuseWrite(const QString &name) override
    {
        if (m_countdown > 0 && --m_countdown == 0)
            return QStringLiteral("Device did not accept the write to \"%1\" (simulated fault)").arg(name);
        return std::nullopt;
    }

    std::optional<QVariant> readBack(const QString &name) override
    {
        const auto it = m_reads.constFind(name);
        return it == m_reads.constEnd() ? std::nullopt : std::optional<QVariant>(*it);
    }

private:
    ProcessNetwork &m_network;
    int m_countdown = 0;
    QHash<QString, QVariant> m_reads;
};

/// One write of the log as a line of the golden file: name, type and value separated
/// by tabs; strings quoted, with a CR made visible.
inline QString formatWrite(const WriteRecord &w)
{
    QString value = QString::number(w.value.toInt());
    if (w.type == ValueType::Boolean)
        value = w.value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (w.type == ValueType::String) {
        value = w.value.toString();
        value.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
        value = QLatin1Char('"') + value.replace(QLatin1Char('\r'), QStringLiteral("\\r")) + QLatin1Char('"');
    }
    return w.name + QLatin1Char('\t') + valueTypeName(w.type) + QLatin1Char('\t') + value;
}

/// The ticket of the golden download: fields in slots 1, 7 and 30, a loaded but
/// undefined field in slot 3, a start code and an empty stop code.
inline void fillGoldenTicket(TicketModel &model)
{
    model.setRecord(1, {QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 7, 1, true, 2, 8});
    model.setRecord(7, {QStringLiteral("Kiln.Zone1Temp"), 5, 200, 4, 4, 2, 33, 1, 5, 0, true, 3, 9});
    model.setRecord(30, {QStringLiteral("Batching.BatchCounter"), 6, 300, 0, 2, 0, 9, 0, 4, 0, true, 4, 11});
    model.editRecord(3, [](UpdateBox &b) {
        b.VarName = QStringLiteral("Kiln.BurnerOn");
        b.Chars = 3;
    });
    for (int slot : {1, 3, 7, 30})
        model.loadSlot(slot);
    model.setStartCode(QStringLiteral("[27]@"));
    model.setStopCode({});
}

inline QStringList goldenBoxLines()
{
    return {QStringLiteral("   WEIGHING TICKET"), QString(), QStringLiteral("Net:   xxxxx.x kg"),
            QStringLiteral("Zone 1: xxxxx"), QStringLiteral("Batch no. xxxx \"A\"")};
}

/// The built-in sample network with scripted faults, and a download over it.
struct DownloadRun
{
    TicketModel model;
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    ScriptedFaults faults{*network};
    NetworkFactory factory{*network};
    TicketDownload download{factory};
    QList<double> progress;

    DownloadResult run(const QStringList &lines, const QString &port = QStringLiteral("Printer1"))
    {
        TicketDownload::Callbacks cb;
        cb.progress = [this](double v) { progress << v; };
        return download.run(model, lines, port, cb);
    }

    /// Downloads the golden ticket.
    DownloadResult runGolden(const QString &port = QStringLiteral("Printer1"))
    {
        fillGoldenTicket(model);
        return run(goldenBoxLines(), port);
    }
};

} // namespace tkl::test
