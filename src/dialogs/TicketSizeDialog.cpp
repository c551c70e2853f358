#include "TicketSizeDialog.h"

#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/TicketModel.h"
#include "ui/NumberBox.h"
#include "ui/TwipsGeometry.h"
#include "ui/WindowLook.h"

#include <QEvent>
#include <QLabel>

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
    , m_charsLabel(new QLabel(QStringLiteral(" Number of characters on a line"), this))
    , m_charsBox(new NumberBox(QString(), NumberBox::Range::Any, this))
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Printer Ticket Size "));
    // The window's own font is the editor's: the cell it measures is the editor's cell.
    setFont(editorFont());
    setGreyBackground(*this);

    const QFont small = typewriterFont(QStringLiteral("Courier New"), 8.25);
    m_charsLabel->setObjectName(QStringLiteral("Label1"));
    m_charsLabel->setFont(small);
    m_charsBox->setObjectName(QStringLiteral("Text1"));
    m_charsBox->setFont(small);

    setFixedClientTwips(*this, ClientWidth, ClientHeight);
    setGeometryTwips(*m_charsLabel, 0, 0, 3495, 315);
    setGeometryTwips(*m_charsBox, 3480, 0, 915, 315);

    connect(m_charsBox, &NumberBox::left, this, &TicketSizeDialog::applyNumber);
    connect(m_charsBox, &NumberBox::enterPressed, this, [this] {
        // Leaving the box is what applies the number; do it here too, as the focus
        // may not move while the editor window is not on screen.
        applyNumber();
        m_editor.focusText();
        hide();
    });
}

TicketSizeDialog::~TicketSizeDialog()
{
    // The box lives on into QWidget's destructor, which takes its focus away: leaving
    // it must not apply the number through this part of the window, which is gone by then.
    m_charsBox->disconnect(this);
}

void TicketSizeDialog::openAt(int leftTwips, int topTwips)
{
    moveToTwips(*this, leftTwips, topTwips);
    m_charsBox->setText(QString::number(m_model.CharsPerLine));
    show();
    raise();
    activateWindow();
    m_charsBox->setFocus();
    // Also when the box kept the focus since the last time: a typed number replaces it.
    m_charsBox->selectAll();
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
    m_editor.requestEditorWidth(requestedWidth(m_charsBox->text(), cellWidthTwips(*this, font())));
}

void TicketSizeDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        hide();
    QWidget::changeEvent(event);
}

} // namespace tkl
