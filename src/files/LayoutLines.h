#pragma once

#include <QString>

namespace tkl {

/// Where each value of a layout file stands. The meaning of a line is given by
/// its number alone, so the reader and the writer share these numbers.
struct LayoutLines
{
    static constexpr int EditorWidth = 1;
    static constexpr int EditorHeight = 2;
    static constexpr int TicketLines = 3;
    static constexpr int FirstMarker = 4;   ///< BoxLoaded of slot 1; slot i at FirstMarker + i - 1
    static constexpr int FirstBlock = 34;   ///< first line of slot 1's record
    static constexpr int BlockSize = 13;    ///< lines per record
    static constexpr int StartCode = 424;
    static constexpr int StopCode = 425;
    static constexpr int FirstText = 426;   ///< the ticket text runs from here to the end

    /// Members of one record, in file order.
    enum Member { VarName, NodeAdr, SWNo, Offset, Typ, BitNo, Code, DevType, Chars, Digits, DataIn, Linie, Pos };

    static constexpr int markerLine(int slot) { return FirstMarker + slot - 1; }
    static constexpr int memberLine(int slot, Member m) { return FirstBlock + BlockSize * (slot - 1) + m; }

    /// What a line holds, as named in messages: "EditorWidth", "BoxLoaded of UpdateBox 3",
    /// "NodeAdr of UpdateBox 2", "start code", "stop code", "ticket text".
    static QString fieldName(int line);
};

} // namespace tkl
