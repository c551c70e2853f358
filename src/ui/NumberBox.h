#pragma once

#include <QLineEdit>

#include <optional>

namespace tkl {

/// A box for a whole number that only typed digits reach.
///
/// A digit key goes in; Enter is reported and goes no further; every other key that
/// types something (letters, blanks, a minus sign, Backspace, Escape) is dropped, so
/// characters leave the box only by Delete or by typing over a selection. Nothing
/// reaches the box that was not typed: no pasting by key or middle button, no
/// context menu, no dropping, no input-method text. Taking the focus selects the whole
/// text, so that a typed number replaces what the box showed.
///
/// A 16-bit box also refuses any digit, and any deletion, after which the leading
/// number of its text would not fit a signed 16-bit field: it keeps the last text
/// that fitted.
class NumberBox : public QLineEdit
{
    Q_OBJECT

public:
    enum class Range { Any, Int16 };

    NumberBox(const QString &text, Range range, QWidget *parent = nullptr);

    /// The value a text stands for in a 16-bit box: its leading number rounded halves
    /// to even, 0 for a text without one; nothing when it does not fit.
    static std::optional<qint16> int16Value(const QString &text);

signals:
    /// A digit was typed and is about to go into the box.
    void digitTyped();
    /// Enter or Return was pressed in the box.
    void enterPressed();
    /// The box lost the focus, other than to a popup of its own.
    void left();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool takesDigit(QChar digit) const;
};

} // namespace tkl
