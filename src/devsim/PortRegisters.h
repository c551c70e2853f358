#pragma once

#include "device/PortVariables.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tkl::devsim {

/// The holding registers of one printer port as a device lays them out, read backwards:
/// which device variable each register belongs to, and whether a value written there is
/// one the device can hold. Built from the shared register map, so that the simulator
/// and the client cannot disagree about where a variable sits.
class PortRegisters
{
public:
    explicit PortRegisters(const PrinterPort &port);

    const PrinterPort &port() const { return m_port; }
    int count() const { return int(m_owner.size()); }

    /// The names of the variables that registers [first, first + count) of the port touch,
    /// in register order; `first` is relative to the port's base.
    QStringList namesIn(int first, int count) const;

    /// The variables a write of `values` from register `first` touches, each with the
    /// value it now holds where the write carries all of it: `P.lines=3`,
    /// `P.Ticket[1]="Net:"` (control characters as [13]).
    QStringList describeWrite(int first, const uint16_t *values, int count) const;

    /// Why the device refuses `values` written from register `first` on (relative to
    /// the port's base); empty when it takes them. Checks what a single register can
    /// tell: a number outside its variable's bounds, a string length beyond the port's.
    QString refusal(int first, const uint16_t *values, int count) const;

private:
    struct Variable
    {
        QString name;
        PortVariables::Place place;
    };

    PrinterPort m_port;
    std::vector<Variable> m_variables;
    std::vector<int> m_owner; ///< per register: index into m_variables
};

} // namespace tkl::devsim
