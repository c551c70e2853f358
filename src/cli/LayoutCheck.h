#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tkl {
class ProcessNetwork;
struct LayoutData;
struct LayoutError;
struct LayoutFinding;
struct PrinterPort;
}

namespace tkl::cli {

/// One thing wrong with a layout, tied to the file line it concerns.
struct CheckFinding
{
    enum class Severity { Warning, Error };

    Severity severity = Severity::Warning;
    int line = 0;     ///< file line, from 1; 0 when the problem concerns no single line
    QString message;
    /// One word for what kind of problem it is (LayoutFinding::kindName(), or "format"
    /// for a file that is no layout), for pipelines that filter without reading messages.
    QString kind;
    int slot = 0;     ///< the field (UpdateBox) concerned; 0 when none is
    QString port;     ///< the printer port an error holds for; empty for warnings

    /// "file:line: warning: message" (no line part when `line` is 0).
    QString format(const QString &file) const;

    friend bool operator==(const CheckFinding &, const CheckFinding &) = default;
};

/// The check tool's view of TicketCheck: its findings as lines of the layout file.
class LayoutCheck
{
public:
    /// The text's lines as stored: what a download from the command line sends.
    static QStringList textLines(const QString &text);

    /// Every finding for `layout` (TicketCheck::findings()), in file line order. An
    /// error's message begins with the device variable a download would stop at.
    static QList<CheckFinding> findings(const LayoutData &layout, const ProcessNetwork &network,
                                        const PrinterPort *port = nullptr);

    /// `finding` at its file line.
    static CheckFinding atFileLine(const LayoutFinding &finding);

    /// The kind of a layout file the reader refuses.
    static constexpr char FormatKind[] = "format";

    /// The reader's refusal as an error finding.
    static CheckFinding readError(const LayoutError &error);
};

} // namespace tkl::cli
