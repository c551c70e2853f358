#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tkl {

/// Value type of a device variable, as the download protocol fixes it per name.
/// The QVariant written to "Value" must carry exactly the matching meta type.
enum class ValueType {
    Boolean, ///< bool (QMetaType::Bool)
    UInt8,   ///< quint8 (QMetaType::UChar)
    Int16,   ///< qint16 (QMetaType::Short)
    String,  ///< QString
    UInt32,  ///< quint32 (QMetaType::UInt): two registers, the high word first
};

/// "Boolean", "UInt8", "Int16", "String" or "UInt32"; used in error texts and the write log.
QString valueTypeName(ValueType type);

/// The QMetaType id a value of `type` must carry.
int valueMetaTypeId(ValueType type);

/// Where a port's registers lie in a real device: the Modbus unit (slave id) that
/// answers for it and the holding register its map starts at.
struct ModbusPortAddress
{
    int unit = 1;  ///< 0..255 (TCP devices usually ignore it or expect 1..247)
    int base = 0;  ///< first holding register, 0-based; base + registerCount() <= 65536
};

/// A printer port of a printer module node. Its device variables are exactly the ones
/// a ticket download writes (see PortVariables).
struct PrinterPort
{
    QString name;           ///< the prefix of every device variable name, e.g. "Printer1"
    int node = -1;          ///< index into the network's nodes of the printer module
    int updateElements = 30;///< UpdateArr[1..updateElements]
    int ticketLines = 100;  ///< Ticket[1..ticketLines], and the largest "lines"
    int stringLength = 255; ///< longest string any of the port's variables stores
    std::optional<ModbusPortAddress> modbus; ///< set when the port is on a real device
};

/// The device variables of a printer port: their names, value types, order and bounds,
/// and where each one sits in a device's holding registers. The download, the simulated
/// devices, the Modbus register map, and the tools that show, preview and check what a
/// device holds all take them from here, so that they cannot disagree.
///
/// A port P holds, in this order:
///   P.UpdateArr[n].<member> for n = 1..updateElements, the 13 members of members();
///   P.lines, the number of ticket lines;
///   P.Ticket[n] for n = 1..ticketLines;
///   P.PrintCode.start and P.PrintCode.stop;
///   P.Download.state and P.Download.checksum, kept by a real device (see DownloadState).
namespace PortVariables {

/// What a real device's download state register holds. A device prints a ticket only in
/// Finished; a download sets Started with its first request and Finished (with the
/// layout checksum) only once everything it wrote read back as written.
enum class DownloadState { NeverWritten = 0, Started = 1, Finished = 2 };

/// The members of one UpdateArr element, in download (and register) order.
enum class Member { VarName, NodeAdr, SWNo, Offset, Typ, BitNo, Code, DevType, Chars, Digits, DataIn, Linie, Pos };
inline constexpr int MemberCount = 13;

struct MemberInfo
{
    Member member;
    const char *name; ///< e.g. "VarName"
    ValueType type;
};

/// Every member, in order.
const std::array<MemberInfo, MemberCount> &members();
const MemberInfo &info(Member member);

// --- names

QString elementName(QStringView port, int element, Member member); ///< "P.UpdateArr[n].VarName"
QString linesName(QStringView port);                               ///< "P.lines"
QString ticketName(QStringView port, int line);                    ///< "P.Ticket[n]"
QString startCodeName(QStringView port);                           ///< "P.PrintCode.start"
QString stopCodeName(QStringView port);                            ///< "P.PrintCode.stop"
QString downloadStateName(QStringView port);                       ///< "P.Download.state"
QString checksumName(QStringView port);                            ///< "P.Download.checksum"

/// What a device stores for a printer code: the code, or a lone CR where there is none
/// (a device cannot hold an empty code).
QString codeOrCr(const QString &code);

// --- bounds

/// The values a device variable accepts: numbers from `minimum` to `maximum`, strings
/// of `minimum` to `maximum` characters.
struct Bounds
{
    int minimum = 0;
    int maximum = 0;
};

/// What `port` accepts for an element member. Lines count from 1, so Linie is
/// 1..ticketLines; Pos, Chars and Digits are 0..stringLength (a field is printed inside
/// one of the port's lines); VarName is a string of at most stringLength; the other
/// members take their type's whole range.
Bounds memberBounds(const PrinterPort &port, Member member);
Bounds linesBounds(const PrinterPort &port);   ///< 0..ticketLines
Bounds stringBounds(const PrinterPort &port);  ///< 0..stringLength characters

// --- the register map of a real device (holding registers, 0-based, from the port's base)
//
// A string takes stringRegisters() registers: its length in bytes, then its Windows-1252
// bytes two to a register, the first byte in the high half. Element n starts at
// (n - 1) * elementRegisters(): VarName, then one register for each other member in
// order. "lines" follows the last element, then the ticket lines, then the start code
// and the stop code, one string each.

int stringRegisters(const PrinterPort &port);  ///< 1 + ceil(stringLength / 2)
int elementRegisters(const PrinterPort &port); ///< stringRegisters + 12
int memberRegister(const PrinterPort &port, int element, Member member);
int linesRegister(const PrinterPort &port);
int ticketRegister(const PrinterPort &port, int line);
int startCodeRegister(const PrinterPort &port);
int stopCodeRegister(const PrinterPort &port);
int downloadStateRegister(const PrinterPort &port); ///< the register after the stop code
int checksumRegister(const PrinterPort &port);      ///< two registers after the state
int registerCount(const PrinterPort &port);    ///< registers the whole port takes

// --- from a name back to its place

/// Where a device variable name points inside `port`: an element member, "lines", a
/// ticket line or a code.
struct Place
{
    enum class Kind { Member, Lines, Ticket, StartCode, StopCode, DownloadState, Checksum };
    Kind kind = Kind::Lines;
    int index = 0;               ///< the element (Member) or the line (Ticket), from 1
    Member member = Member::VarName;
    ValueType type = ValueType::Int16;
    Bounds bounds;
    int firstRegister = 0;       ///< relative to the port's base
};

/// The place of `name` in `port`, or nothing when the port holds no such variable
/// (another port's prefix, an element or line beyond the port's size, a misspelt member).
std::optional<Place> placeOf(const PrinterPort &port, QStringView name);

} // namespace PortVariables

} // namespace tkl
