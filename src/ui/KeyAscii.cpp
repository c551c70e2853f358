#include "KeyAscii.h"

#include <QKeyEvent>

namespace tkl {

int keyAscii(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return -1;
    default:
        break;
    }

    const Qt::KeyboardModifiers chord = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (chord == Qt::ControlModifier) {
        // Not every platform puts the control character into text(); the key code does.
        const int key = event.key();
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return key - Qt::Key_A + 1;
        switch (key) {
        case Qt::Key_BracketLeft:
            return 27;
        case Qt::Key_Backslash:
            return 28;
        case Qt::Key_BracketRight:
            return 29;
        case Qt::Key_AsciiCircum:
            return 30;
        case Qt::Key_Underscore:
            return 31;
        default:
            return -1;
        }
    }
    if (chord != Qt::NoModifier)
        return -1;

    const QString text = event.text();
    if (text.size() != 1)
        return -1;
    const char16_t c = text.at(0).unicode();
    // DEL is what some platforms report for the Delete key; it is an editing key here.
    if (c == 0 || c == 127)
        return -1;
    return int(c);
}

bool typesCharacter(const QKeyEvent &event)
{
    if (keyAscii(event) >= 0)
        return true;
    const QList<uint> codes = event.text().toUcs4();
    for (uint c : codes) {
        if (QChar::isPrint(char32_t(c)))
            return true;
    }
    return false;
}

} // namespace tkl
