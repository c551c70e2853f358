#include "DialogFonts.h"

#include "model/CharGrid.h"
#include "ui/EditorFont.h"
#include "model/Numbers.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

namespace tkl {

QFont fixedFont(const QString &family, double points)
{
    QFont font = typewriterFont(family, points);
    font.setFixedPitch(true);
    return font;
}

int cellWidthTwips(const QWidget &widget, const QFont &font)
{
    // Integer metrics, as the grid is counted in whole pixels.
    const QFontMetrics metrics(font, &widget);
    const int pixels = metrics.horizontalAdvance(QStringLiteral("a"));
    return int(roundHalfEven(Twips::fromPixels(pixels, widget.logicalDpiX())));
}

void moveToTwips(QWidget &window, int leftTwips, int topTwips)
{
    window.move(Twips::toPixels(leftTwips, window.logicalDpiX()), Twips::toPixels(topTwips, window.logicalDpiY()));
}

void setGeometryTwips(QWidget &widget, int left, int top, int width, int height)
{
    const double dx = widget.logicalDpiX();
    const double dy = widget.logicalDpiY();
    widget.setGeometry(Twips::toPixels(left, dx), Twips::toPixels(top, dy), Twips::toPixels(width, dx),
                       Twips::toPixels(height, dy));
}

void setFixedClientTwips(QWidget &window, int width, int height)
{
    window.setFixedSize(Twips::toPixels(width, window.logicalDpiX()), Twips::toPixels(height, window.logicalDpiY()));
}

void setGreyBackground(QWidget &widget)
{
    widget.setAutoFillBackground(true);
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    widget.setPalette(pal);
}

void acceptTypedKeysOnly(QWidget &box)
{
    box.setContextMenuPolicy(Qt::NoContextMenu);
    box.setAcceptDrops(false);
    box.setAttribute(Qt::WA_InputMethodEnabled, false);
}

namespace {

class SelectAllOnFocus : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn
            && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
            // After the event: a mouse press that gave the focus puts the caret where it
            // was pressed, and would undo a selection made now.
            auto *box = static_cast<QLineEdit *>(watched);
            QTimer::singleShot(0, box, &QLineEdit::selectAll);
        }
        return false;
    }
};

} // namespace

void selectAllOnFocus(QLineEdit &box)
{
    box.installEventFilter(new SelectAllOnFocus(&box));
}

} // namespace tkl
