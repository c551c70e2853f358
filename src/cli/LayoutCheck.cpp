#include "LayoutCheck.h"

#include "files/LayoutError.h"
#include "preview/TicketCheck.h"

namespace tkl::cli {

QString CheckFinding::format(const QString &file) const
{
    const QString kind = severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
    if (line > 0)
        return QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(kind, message);
    return QStringLiteral("%1: %2: %3").arg(file, kind, message);
}

QStringList LayoutCheck::textLines(const QString &text)
{
    return TicketCheck::textLines(text);
}

CheckFinding LayoutCheck::atFileLine(const LayoutFinding &finding)
{
    if (!finding.isError())
        return {CheckFinding::Severity::Warning, TicketCheck::fileLine(finding), finding.message};
    const QString message =
        finding.variable.isEmpty() ? finding.message : finding.variable + QStringLiteral(": ") + finding.message;
    return {CheckFinding::Severity::Error, TicketCheck::fileLine(finding), message};
}

QList<CheckFinding> LayoutCheck::findings(const LayoutData &layout, const ProcessNetwork &network,
                                          const PrinterPort *port)
{
    QList<CheckFinding> out;
    for (const LayoutFinding &finding : TicketCheck::findings(layout, network, port))
        out << atFileLine(finding);
    return out;
}

CheckFinding LayoutCheck::readError(const LayoutError &error)
{
    QString message = error.message;
    // The finding carries the line already.
    const QString prefix = QStringLiteral("Line %1: ").arg(error.line);
    if (error.line > 0 && message.startsWith(prefix))
        message = message.mid(prefix.size());
    return {CheckFinding::Severity::Error, error.line, message};
}

} // namespace tkl::cli
