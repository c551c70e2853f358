#include "ProgressWindow.h"

#include "model/Numbers.h"
#include "ui/TwipsGeometry.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>

#include <algorithm>

namespace tkl {

ProgressWindow::ProgressWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Downloading Printer Ticket"));

    resizeTwips(*this, 3375, 960);

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
