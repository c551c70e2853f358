#include "JsonOutput.h"

#include "CommandSupport.h"
#include "LayoutCheck.h"
#include "device/NetworkCatalogue.h"
#include "device/PortVariables.h"
#include "files/LayoutData.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tkl::cli {

namespace {

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QCommandLineOption JsonOutput::formatOption()
{
    return QCommandLineOption(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"), QStringLiteral("text"));
}

std::optional<bool> JsonOutput::wantsJson(const QCommandLineParser &parser, const QString &command,
                                          Console &console)
{
    const QString format = parser.value(QStringLiteral("format"));
    if (format == u"text")
        return false;
    if (format == u"json")
        return true;
    CommandSupport::fail(console, command,
                         QStringLiteral("--format is \"text\" or \"json\", not \"%1\"").arg(format));
    return std::nullopt;
}

QByteArray JsonOutput::finding(const QString &file, const CheckFinding &finding)
{
    QJsonObject object{
        {QStringLiteral("file"), file},
        {QStringLiteral("line"), finding.line},
        {QStringLiteral("severity"),
         finding.severity == CheckFinding::Severity::Error ? QStringLiteral("error") : QStringLiteral("warning")},
        {QStringLiteral("kind"), finding.kind},
        {QStringLiteral("message"), finding.message},
    };
    // Only where there is one, so that `has("slot")` in a pipeline means a field.
    if (finding.slot > 0)
        object.insert(QStringLiteral("slot"), finding.slot);
    if (!finding.port.isEmpty())
        object.insert(QStringLiteral("port"), finding.port);
    return line(object);
}

QByteArray JsonOutput::port(const PrinterPort &port, const QString &node, const ModbusEndpoint *endpoint)
{
    QJsonObject object{
        {QStringLiteral("port"), port.name},
        {QStringLiteral("node"), node},
        {QStringLiteral("kind"), !endpoint           ? QStringLiteral("simulated")
                                 : endpoint->isSerial() ? QStringLiteral("modbus-rtu")
                                                        : QStringLiteral("modbus-tcp")},
        {QStringLiteral("updateElements"), port.updateElements},
        {QStringLiteral("ticketLines"), port.ticketLines},
        {QStringLiteral("stringLength"), port.stringLength},
    };
    if (endpoint && port.modbus) {
        object.insert(QStringLiteral("endpoint"), endpoint->text());
        object.insert(QStringLiteral("unit"), port.modbus->unit);
        object.insert(QStringLiteral("base"), port.modbus->base);
    }
    return line(object);
}

QByteArray JsonOutput::device(const QString &port, const DeviceTicket *ticket)
{
    QJsonObject object{{QStringLiteral("port"), port}, {QStringLiteral("holdsTicket"), ticket != nullptr}};
    object.insert(QStringLiteral("downloadState"),
                  int(ticket ? ticket->state : PortVariables::DownloadState::NeverWritten));
    object.insert(QStringLiteral("checksum"),
                  ticket && ticket->checksum ? QJsonValue(double(*ticket->checksum)) : QJsonValue());
    if (!ticket)
        return line(object);
    object.insert(QStringLiteral("lastDownloadFinished"), ticket->finished());
    const LayoutData *layout = &ticket->layout;

    QJsonArray fields;
    for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
        const UpdateBox &b = layout->UpdateBoxes[slot];
        if (!b.DataIn)
            continue;
        fields.append(QJsonObject{
            {QStringLiteral("slot"), slot},
            {QStringLiteral("VarName"), b.VarName},
            {QStringLiteral("line"), int(b.Linie) + 1},
            {QStringLiteral("column"), int(b.Pos)},
            {QStringLiteral("Chars"), int(b.Chars)},
            {QStringLiteral("Digits"), int(b.Digits)},
            {QStringLiteral("NodeAdr"), int(b.NodeAdr)},
            {QStringLiteral("SWNo"), int(b.SWNo)},
            {QStringLiteral("Offset"), int(b.Offset)},
            {QStringLiteral("Typ"), int(b.Typ)},
            {QStringLiteral("BitNo"), int(b.BitNo)},
            {QStringLiteral("Code"), int(b.Code)},
            {QStringLiteral("DevType"), int(b.DevType)},
        });
    }
    const QStringList lines = layout->TicketLines > 0 ? layout->text.split(QStringLiteral("\r\n")) : QStringList();
    object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
    object.insert(QStringLiteral("fields"), fields);
    object.insert(QStringLiteral("startCode"), layout->StartCode);
    object.insert(QStringLiteral("stopCode"), layout->StopCode);
    return line(object);
}

} // namespace tkl::cli
