#include "NumberBox.h"

#include "KeyAscii.h"

#include "model/Numbers.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QTimer>
#include <QValidator>

#include <limits>

namespace tkl {

namespace {

/// Accepts a text exactly when its leading number fits a signed 16-bit field.
class Int16Validator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        return NumberBox::int16Value(input) ? Acceptable : Invalid;
    }
};

} // namespace

NumberBox::NumberBox(const QString &text, Range range, QWidget *parent)
    : QLineEdit(text, parent)
{
    if (range == Range::Int16)
        setValidator(new Int16Validator(this));
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

std::optional<qint16> NumberBox::int16Value(const QString &text)
{
    const auto value = fitRounded(leadingNumber(text), std::numeric_limits<qint16>::min(),
                                  std::numeric_limits<qint16>::max());
    if (!value)
        return std::nullopt;
    return qint16(*value);
}

bool NumberBox::takesDigit(QChar digit) const
{
    if (!validator())
        return true;
    QString after = text();
    int pos = cursorPosition();
    if (hasSelectedText()) {
        pos = selectionStart();
        after.remove(pos, selectedText().size());
    }
    after.insert(pos, digit);
    return validator()->validate(after, pos) == QValidator::Acceptable;
}

void NumberBox::keyPressEvent(QKeyEvent *event)
{
    const int code = keyAscii(*event);
    if (code == 13) {
        emit enterPressed();
        return;
    }
    if (event->matches(QKeySequence::Paste))
        return;
    // Caret movement and Delete go through; the validator guards the value.
    if (!typesCharacter(*event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (!isDigitCode(code) || !takesDigit(QChar(code)))
        return;
    emit digitTyped();
    QLineEdit::keyPressEvent(event);
}

void NumberBox::mouseReleaseEvent(QMouseEvent *event)
{
    // The selection paste of the middle button would put any text into the box.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void NumberBox::focusInEvent(QFocusEvent *event)
{
    // After the event: a mouse press that gave the focus puts the caret where it was
    // pressed, and would undo a selection made now.
    if (event->reason() != Qt::PopupFocusReason)
        QTimer::singleShot(0, this, &QLineEdit::selectAll);
    QLineEdit::focusInEvent(event);
}

void NumberBox::focusOutEvent(QFocusEvent *event)
{
    if (event->reason() != Qt::PopupFocusReason)
        emit left();
    QLineEdit::focusOutEvent(event);
}

} // namespace tkl
