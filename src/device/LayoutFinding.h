#pragma once

#include "device/PortVariables.h"

#include <QString>

#include <optional>

namespace tkl {

/// One thing wrong with a ticket layout: a rule of the device it would be downloaded
/// into that it breaks (an error: the download refuses it), or something the device
/// takes but that will not print as intended (a warning).
///
/// Findings name the part of the layout they concern, so that each tool can point at
/// it its own way: the command-line tool as a line of the layout file, the editor as a
/// field or a line of its text.
struct LayoutFinding
{
    enum class Severity { Warning, Error };

    /// The part of the layout a finding concerns.
    enum class Subject {
        Layout,      ///< the layout as a whole (or the port it is checked against)
        EditorWidth, ///< the ticket width
        Field,       ///< UpdateBox `index`, and its `member` when one is concerned
        TextLine,    ///< text line `index`, counted from 1
        StartCode,
        StopCode,
    };

    Severity severity = Severity::Error;
    Subject subject = Subject::Layout;
    int index = 0;                               ///< the slot (Field) or the text line (TextLine)
    std::optional<PortVariables::Member> member; ///< the field's member concerned (Field only)
    QString port;     ///< the printer port an error holds for; empty for warnings
    QString variable; ///< the device variable a download stops at; empty for warnings
    /// One sentence that names the field or line and, for an error, the port. It may
    /// quote a layout's text: escape control characters before putting it on a terminal.
    QString message;

    bool isError() const { return severity == Severity::Error; }

    friend bool operator==(const LayoutFinding &, const LayoutFinding &) = default;
};

} // namespace tkl
