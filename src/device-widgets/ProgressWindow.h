#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tkl {

/// The window that shows how far a download has come (`Form7`): a picture,
/// `ProgressBar1` from 0 to 100 and a Cancel button. Only the download shows, moves and
/// hides it. While it shows, it is the one window of the program that takes input (it
/// is application modal): nothing typed or clicked reaches another window, and
/// nothing of it waits to arrive there later.
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

    /// Shown when the operator cancelled, until the download stops: `why` the wait.
    void showCancelling(const QString &why);

    /// Back to the look of a download that is under way: Cancel enabled, no note.
    void reset();

    QPushButton *cancelButton() const { return m_cancel; }

signals:
    /// The operator asked to stop: Cancel, Escape or the close box.
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QElapsedTimer m_sinceShown;
    QProgressBar *m_bar;
    QLabel *m_note;
    QPushButton *m_cancel;
};

} // namespace tkl
