#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tkl {

/// What Qt's JSON parser does not report: an object that names one key twice, of
/// which the parser silently keeps the last.
class JsonKeyScan
{
public:
    struct Duplicate
    {
        QString key;          ///< the key as decoded
        qsizetype offset = 0; ///< byte offset of the second one's opening quote
    };

    /// The first key that an object of `json` holds twice, in reading order. `json` must
    /// be well-formed (the parser accepted it); for other text the answer means nothing.
    static std::optional<Duplicate> firstDuplicate(const QByteArray &json);
};

} // namespace tkl
