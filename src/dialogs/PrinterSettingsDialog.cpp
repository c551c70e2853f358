#include "PrinterSettingsDialog.h"

#include "model/TicketModel.h"
#include "ui/KeyAscii.h"
#include "ui/TwipsGeometry.h"
#include "ui/WindowLook.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <limits>

namespace tkl {

namespace {

constexpr int ClientWidth = 5235;
constexpr int ClientHeight = 600;
// A code's row: its label, then its box overlapping the label by 15 twips. The label's
// width is the dialog's own, not the width of a field without a shape (CharGrid).
constexpr int CodeLabelWidth = 1335;
constexpr int CodeBoxLeft = 1320;
constexpr int CodeBoxWidth = 3915;
constexpr int CodeRowHeight = 315;
constexpr int StopRowTop = 300;

} // namespace

PrinterSettingsDialog::PrinterSettingsDialog(TicketModel &model, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_startLabel(new QLabel(QStringLiteral(" Start Code"), this))
    , m_startBox(new QLineEdit(this))
    , m_stopLabel(new QLabel(QStringLiteral(" Stop Code"), this))
    , m_stopBox(new QLineEdit(this))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("  Printer Settings"));
    setGreyBackground(*this);

    const QFont font = typewriterFont(QStringLiteral("Courier New"), 8.25);
    m_startLabel->setObjectName(QStringLiteral("Label1"));
    m_startBox->setObjectName(QStringLiteral("Text1"));
    m_stopLabel->setObjectName(QStringLiteral("Label2"));
    m_stopBox->setObjectName(QStringLiteral("Text2"));
    for (QWidget *w : std::initializer_list<QWidget *>{m_startLabel, m_startBox, m_stopLabel, m_stopBox})
        w->setFont(font);

    setFixedClientTwips(*this, ClientWidth, ClientHeight);
    setGeometryTwips(*m_startLabel, 0, 0, CodeLabelWidth, CodeRowHeight);
    setGeometryTwips(*m_startBox, CodeBoxLeft, 0, CodeBoxWidth, CodeRowHeight);
    setGeometryTwips(*m_stopLabel, 0, StopRowTop, CodeLabelWidth, CodeRowHeight);
    setGeometryTwips(*m_stopBox, CodeBoxLeft, StopRowTop, CodeBoxWidth, CodeRowHeight);
    // The boxes take whatever the printer needs: no length limit.
    m_startBox->setMaxLength(std::numeric_limits<int>::max());
    m_stopBox->setMaxLength(std::numeric_limits<int>::max());
    setTabOrder(m_startBox, m_stopBox);

    m_startBox->installEventFilter(this);
    m_stopBox->installEventFilter(this);
    connect(m_startBox, &QLineEdit::textChanged, this, [this](const QString &text) { m_model.setStartCode(text); });
    connect(m_stopBox, &QLineEdit::textChanged, this, [this](const QString &text) { m_model.setStopCode(text); });
}

void PrinterSettingsDialog::openAt(int leftTwips, int topTwips)
{
    m_startBox->setText(m_model.StartCode);
    m_stopBox->setText(m_model.StopCode);
    // setText only reports a real change; the codes must equal the boxes either way.
    m_model.setStartCode(m_startBox->text());
    m_model.setStopCode(m_stopBox->text());
    show();
    moveToTwips(*this, leftTwips, topTwips);
    raise();
    activateWindow();
}

QString PrinterSettingsDialog::codeNotation(int code)
{
    return u'[' + QString::number(code) + u']';
}

bool PrinterSettingsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // A control key types a code here (Ctrl+S is "[19]"): it is the box's, not the
    // program's key of the same name.
    if (event->type() == QEvent::ShortcutOverride && (watched == m_startBox || watched == m_stopBox)) {
        const int code = keyAscii(*static_cast<QKeyEvent *>(event));
        if (code >= 0 && code < 32 && code != 8) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && (watched == m_startBox || watched == m_stopBox)) {
        auto *box = static_cast<QLineEdit *>(watched);
        const int code = keyAscii(*static_cast<QKeyEvent *>(event));
        if (code >= 0 && code < 32 && code != 8) {
            box->setText(box->text() + codeNotation(code));
            // The key then reaches the box as usual: Ctrl+V still pastes, Ctrl+A still
            // selects; a single-line box never stores the control character itself.
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tkl
