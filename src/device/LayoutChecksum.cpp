#include "LayoutChecksum.h"

#include "RegisterCodec.h"

#include <QHash>
#include <QMap>

#include <zlib.h>

namespace tkl::LayoutChecksum {

quint32 of(const PrinterPort &port, const Writes &writes)
{
    // The last value of every variable, by the register it starts at.
    QMap<int, RegisterCodec::Registers> byRegister;
    for (const auto &[name, value] : writes) {
        const auto place = PortVariables::placeOf(port, name);
        using Kind = PortVariables::Place::Kind;
        if (!place || place->kind == Kind::DownloadState || place->kind == Kind::Checksum)
            continue;
        RegisterCodec::Registers registers;
        if (RegisterCodec::encode(place->type, value, port.stringLength, &registers))
            continue;
        byRegister.insert(place->firstRegister, std::move(registers));
    }
    QByteArray bytes;
    for (const RegisterCodec::Registers &registers : std::as_const(byRegister)) {
        for (const quint16 word : registers) {
            bytes.append(char(word >> 8));
            bytes.append(char(word & 0xff));
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size()));
    return quint32(crc);
}

} // namespace tkl::LayoutChecksum
