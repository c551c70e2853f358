#include "TicketSizeDialog.h"

#include "DialogFonts.h"
#include "KeyAscii.h"

#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/TicketModel.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include <limits>

namespace tkl {

namespace {

constexpr int ClientWidth = 4410;
constexpr int ClientHeight = 330;

} // namespace

TicketSizeDialog::TicketSizeDialog(TicketModel &model, EditorSurface &editor, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_editor(editor)
    , m_label1(new QLabel(QStringLiteral(" Number of characters on a line"), this))
    , m_text1(new QLineEdit(this))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Printer Ticket Size "));
    // The window's own font is the editor's: the cell it measures is the editor's cell.
    setFont(fixedFont(QStringLiteral("Courier"), 9.75));
    setGreyBackground(*this);

    const QFont small = fixedFont(QStringLiteral("Courier New"), 8.25);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setFont(small);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(small);

    setFixedClientTwips(*this, ClientWidth, ClientHeight);
    setGeometryTwips(*m_label1, 0, 0, 3495, 315);
    setGeometryTwips(*m_text1, 3480, 0, 915, 315);

    // Only typed digits reach the box: no pasting, dropping or input-method text.
    acceptTypedKeysOnly(*m_text1);
    selectAllOnFocus(*m_text1);
    m_text1->installEventFilter(this);
}

void TicketSizeDialog::openAt(int leftTwips, int topTwips)
{
    moveToTwips(*this, leftTwips, topTwips);
    m_text1->setText(QString::number(m_model.CharsPerLine));
    show();
    raise();
    activateWindow();
    m_text1->setFocus();
    // Also when the box kept the focus since the last time: a typed number replaces it.
    m_text1->selectAll();
}

double TicketSizeDialog::requestedWidth(const QString &text, int cellWidth)
{
    const double n = leadingNumber(text) + 1;
    // Any digits may be typed; past the 16-bit range the number only means "widest".
    const int cells = fitRounded(n, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max())
                          .value_or(std::numeric_limits<qint16>::max());
    return double(cells) * cellWidth + CharGrid::WidthSlack;
}

void TicketSizeDialog::applyNumber()
{
    m_editor.requestEditorWidth(requestedWidth(m_text1->text(), cellWidthTwips(*this, font())));
}

bool TicketSizeDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_text1)
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (keyAscii(*key) == 13) {
            // Leaving the box is what applies the number; do it here too, as the
            // focus may not move while the editor window is not on screen.
            applyNumber();
            m_editor.focusText();
            hide();
            return true;
        }
        if (key->matches(QKeySequence::Paste))
            return true;
        if (typesCharacter(*key) && !isDigitCode(keyAscii(*key)))
            return true;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        // The selection paste of the middle button would bypass the digit rule.
        if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton)
            return true;
    } else if (event->type() == QEvent::FocusOut) {
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            applyNumber();
    }
    return QWidget::eventFilter(watched, event);
}

void TicketSizeDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        hide();
    QWidget::changeEvent(event);
}

} // namespace tkl
