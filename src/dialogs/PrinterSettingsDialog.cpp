#include "PrinterSettingsDialog.h"

#include "DialogFonts.h"
#include "KeyAscii.h"

#include "model/TicketModel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <limits>

namespace tkl {

namespace {

constexpr int ClientWidth = 5235;
constexpr int ClientHeight = 600;

} // namespace

PrinterSettingsDialog::PrinterSettingsDialog(TicketModel &model, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_label1(new QLabel(QStringLiteral(" Start Code"), this))
    , m_text1(new QLineEdit(this))
    , m_label2(new QLabel(QStringLiteral(" Stop Code"), this))
    , m_text2(new QLineEdit(this))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("  Printer Settings"));
    setGreyBackground(*this);

    const QFont font = fixedFont(QStringLiteral("Courier New"), 8.25);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_text2->setObjectName(QStringLiteral("Text2"));
    for (QWidget *w : {static_cast<QWidget *>(m_label1), static_cast<QWidget *>(m_text1),
                       static_cast<QWidget *>(m_label2), static_cast<QWidget *>(m_text2)})
        w->setFont(font);

    setFixedClientTwips(*this, ClientWidth, ClientHeight);
    setGeometryTwips(*m_label1, 0, 0, 1335, 315);
    setGeometryTwips(*m_text1, 1320, 0, 3915, 315);
    setGeometryTwips(*m_label2, 0, 300, 1335, 315);
    setGeometryTwips(*m_text2, 1320, 300, 3915, 315);
    // The boxes take whatever the printer needs: no length limit.
    m_text1->setMaxLength(std::numeric_limits<int>::max());
    m_text2->setMaxLength(std::numeric_limits<int>::max());
    setTabOrder(m_text1, m_text2);

    m_text1->installEventFilter(this);
    m_text2->installEventFilter(this);
    connect(m_text1, &QLineEdit::textChanged, this, [this](const QString &text) { m_model.StartCode = text; });
    connect(m_text2, &QLineEdit::textChanged, this, [this](const QString &text) { m_model.StopCode = text; });
}

void PrinterSettingsDialog::openAt(int leftTwips, int topTwips)
{
    m_text1->setText(m_model.StartCode);
    m_text2->setText(m_model.StopCode);
    // setText only reports a real change; the codes must equal the boxes either way.
    m_model.StartCode = m_text1->text();
    m_model.StopCode = m_text2->text();
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
    if (event->type() == QEvent::ShortcutOverride && (watched == m_text1 || watched == m_text2)) {
        const int code = keyAscii(*static_cast<QKeyEvent *>(event));
        if (code >= 0 && code < 32 && code != 8) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && (watched == m_text1 || watched == m_text2)) {
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
