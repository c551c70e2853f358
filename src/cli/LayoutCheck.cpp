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
    CheckFinding out;
    out.line = TicketCheck::fileLine(finding);
    out.kind = LayoutFinding::kindName(finding.kind);
    out.slot = finding.subject == LayoutFinding::Subject::Field ? finding.index : 0;
    out.port = finding.port;
    out.message = finding.message;
    if (finding.isError()) {
        out.severity = CheckFinding::Severity::Error;
        if (!finding.variable.isEmpty())
            out.message = finding.variable + QStringLiteral(": ") + finding.message;
    }
    return out;
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
    CheckFinding out;
    out.severity = CheckFinding::Severity::Error;
    out.line = error.line;
    out.message = message;
    out.kind = QLatin1String(FormatKind);
    return out;
}

} // namespace tkl::cli
