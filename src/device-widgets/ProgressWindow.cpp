#include "ProgressWindow.h"

#include "model/Numbers.h"
#include "ui/TwipsGeometry.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace tkl {

ProgressWindow::ProgressWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Downloading Printer Ticket"));

    // Below the bar a row for Cancel and for what a cancelled download waits for.
    resizeTwips(*this, 3375, 1560);
    setWindowModality(Qt::ApplicationModal);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(ProgressWindow::picture());
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setGeometryTwips(*picture, 120, 120, 555, 525);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    setGeometryTwips(*m_bar, 120, 720, 3135, 195);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("CancelNote"));
    m_note->setWordWrap(true);
    QFont small = m_note->font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1.5));
    m_note->setFont(small);
    setGeometryTwips(*m_note, 120, 1020, 1995, 480);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    // Keys typed on, for the ticket, must not press it: the mouse or Escape does.
    m_cancel->setFocusPolicy(Qt::NoFocus);
    m_cancel->setAutoDefault(false);
    setGeometryTwips(*m_cancel, 2160, 1080, 1095, 375);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressWindow::cancelRequested);
}

void ProgressWindow::showCancelling(const QString &why)
{
    m_cancel->setEnabled(false);
    m_note->setText(why);
}

void ProgressWindow::reset()
{
    m_cancel->setEnabled(true);
    m_note->clear();
}

void ProgressWindow::closeEvent(QCloseEvent *event)
{
    // The window goes when the download has stopped, not before.
    event->ignore();
    if (m_cancel->isEnabled())
        emit cancelRequested();
}

void ProgressWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_cancel->isEnabled()) {
        emit cancelRequested();
        return;
    }
    // Every other key is swallowed here: none may reach the windows behind.
    event->accept();
}

void ProgressWindow::setProgress(double percent)
{
    const int value = std::clamp(int(roundHalfEven(percent)), 0, 100);
    constexpr qint64 frameMs = 16;
    if (value == 0 || value == 100 || !m_sinceShown.isValid() || m_sinceShown.elapsed() >= frameMs) {
        m_bar->setValue(value);
        m_sinceShown.start();
    }
}

QPixmap ProgressWindow::picture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // The ticket coming out of the top, with a few printed lines.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 1.5, 13, 14));
    p.setPen(QPen(QColor(40, 70, 160), 1));
    for (int y = 5; y <= 12; y += 3)
        p.drawLine(QPointF(12, y + 0.5), QPointF(y == 11 ? 16 : 20, y + 0.5));

    // The printer body.
    QLinearGradient body(0, 13, 0, 28);
    body.setColorAt(0, QColor(200, 205, 215));
    body.setColorAt(1, QColor(120, 128, 140));
    p.setPen(QPen(QColor(60, 64, 72), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2.5, 13.5, 27, 14), 2.5, 2.5);
    p.setBrush(QColor(50, 54, 60));
    p.drawRect(QRectF(8.5, 15.5, 15, 2));

    // A green lamp: the device is receiving.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 190, 70));
    p.drawEllipse(QRectF(23, 21, 4, 4));

    // The arrow down into the printer.
    p.setBrush(QColor(220, 120, 20));
    QPainterPath arrow;
    arrow.moveTo(5, 19);
    arrow.lineTo(13, 19);
    arrow.lineTo(9, 25);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRect(QRectF(7.5, 29, 17, 2));
    return pixmap;
}

} // namespace tkl
