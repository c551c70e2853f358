#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QProgressBar;

namespace tkl {

/// The window that shows how far a download has come (`Form7`): a picture and
/// `ProgressBar1` from 0 to 100. Only the download shows, moves and hides it.
class ProgressWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressWindow(QWidget *parent = nullptr);

    /// Shows how far the download has come, 0 to 100. The bar follows at most about
    /// sixty times a second (its start and its end always), so that redrawing it does
    /// not cost more than the writes it reports.
    void setProgress(double percent);

    /// The picture of `Picture1`: a printer feeding out a ticket, 32 x 32.
    static QPixmap picture();

private:
    QElapsedTimer m_sinceShown;
    QProgressBar *m_bar;
};

} // namespace tkl
