#pragma once

#include "device/PortVariables.h"

#include <QString>
#include <QVariant>

namespace tkl {

/// One successful device write, in the order they were made.
struct WriteRecord
{
    QString name;
    ValueType type = ValueType::Int16;
    QVariant value;

    friend bool operator==(const WriteRecord &, const WriteRecord &) = default;
};

} // namespace tkl
