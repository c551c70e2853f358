#pragma once

#include "device/PortVariables.h"

#include <QString>

#include <iterator>
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

    /// What kind of problem it is, for tools that filter findings without reading the
    /// message. Each has a fixed one-word name (kindName()); the names are an interface
    /// of `tklcli check --format json`: add new ones, never rename.
    enum class Kind {
        Width,     ///< the ticket width leaves no room for a character
        Wrap,      ///< a text line is wider than the ticket
        Edge,      ///< a field reaches past the ticket's right edge or starts left of it
        Below,     ///< a field is on a line past the end of the text
        Overlap,   ///< two fields share a cell
        Unbound,   ///< a defined field is bound to no variable
        Unknown,   ///< a field's variable is not in the network
        Node,      ///< the network's node address of a field's variable is unusable
        Stale,     ///< a field's stored addresses differ from what binding it now stores
        Code,      ///< a printer code with an unclosed "[" or a code above 255
        ScrollBar, ///< a field reaches over the editor's scroll bar (the editor only)
        Elements,  ///< the port has too few field elements to take a ticket
        Range,     ///< a value outside what the port's variable takes
        Overflow,  ///< a value that does not fit its 16-bit variable
        Lines,     ///< more text lines than the port holds
        Length,    ///< a string longer than the port stores
        LineBreak, ///< a line break in a one-line value
        Address,   ///< a field's name is not that of the variable at its address
    };
    static constexpr const char *KindNames[] = {"width", "wrap", "edge", "below", "overlap", "unbound",
                                                "unknown", "node", "stale", "code", "scrollbar", "elements",
                                                "range", "overflow", "lines", "length", "linebreak", "address"};
    static constexpr int KindCount = int(Kind::Address) + 1;
    static_assert(std::size(KindNames) == KindCount, "every kind has a name");

    static QLatin1String kindName(Kind kind) { return QLatin1String(KindNames[int(kind)]); }

    Severity severity = Severity::Error;
    Subject subject = Subject::Layout;
    int index = 0;                               ///< the slot (Field) or the text line (TextLine)
    std::optional<PortVariables::Member> member; ///< the field's member concerned (Field only)
    QString port;     ///< the printer port an error holds for; empty for warnings
    QString variable; ///< the device variable a download stops at; empty for warnings
    /// One sentence that names the field or line and, for an error, the port. It may
    /// quote a layout's text: escape control characters before putting it on a terminal.
    QString message;
    Kind kind = Kind::Range;

    bool isError() const { return severity == Severity::Error; }

    friend bool operator==(const LayoutFinding &, const LayoutFinding &) = default;
};

} // namespace tkl
