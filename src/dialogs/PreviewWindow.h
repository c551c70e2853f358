#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTimer;

namespace tkl {

class EditorSurface;
class ProcessNetwork;
class TicketModel;
struct RenderedTicket;
struct ShownTicket;

/// The open layout as the device will print it, with the network's live values in
/// the fields; refreshed about once a second while it is shown.
///
/// The text is taken line by line as the editor's box shows it, the same lines the
/// download sends, so that fields land on the lines their Linie counts.
class PreviewWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RefreshMs = 1000;

    PreviewWindow(const TicketModel &model, const EditorSurface &editor, const ProcessNetwork &network,
                  QWidget *parent = nullptr);

    /// Renders now, shows the window and starts the refresh.
    void showPreview();

    /// Renders the current layout with the values of this moment.
    void refresh();

    /// The text shown, header and footer lines included.
    QString shownText() const;

    /// Fields marked as not fitting or without a value at the last refresh.
    int markedFields() const { return m_marked; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void highlight(const RenderedTicket &ticket, const ShownTicket &shown);

    const TicketModel &m_model;
    const EditorSurface &m_editor;
    const ProcessNetwork &m_network;
    QPlainTextEdit *m_view = nullptr;
    QLabel *m_status = nullptr;
    QTimer *m_timer = nullptr;
    int m_marked = 0;
};

} // namespace tkl
