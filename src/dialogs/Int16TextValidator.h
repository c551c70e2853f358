#pragma once

#include <QValidator>

#include <optional>

namespace tkl {

/// Accepts any text whose leading number, rounded halves to even, fits a signed
/// 16-bit field; a text without a leading number counts as 0. Used by the boxes whose
/// text is stored as a 16-bit number, so that no edit can make the number overflow:
/// the edit is refused and the box keeps the last text that fitted.
class Int16TextValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;

    /// The value a text stands for, or nothing when it does not fit.
    static std::optional<qint16> valueOf(const QString &text);
};

} // namespace tkl
