#pragma once

#include <QWidget>

#include "device/LayoutFinding.h"

#include <QList>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QTimer;

namespace tkl {

class EditorSurface;
class ProcessNetwork;
class TicketModel;
struct LayoutData;
struct RenderedTicket;
struct ShownTicket;

/// The open layout as the device will print it, with the network's live values in
/// the fields, and below it what is wrong with the layout (the findings list);
/// refreshed when the model announces a change, and about once a second for the
/// live values while it is shown.
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

    /// What is wrong with the layout the editor shows: the check of its model and box
    /// lines against every printer port of `network` (TicketCheck), and the fields that
    /// reach over the editor's scroll bar without already being past the right edge.
    static QList<LayoutFinding> findings(const TicketModel &model, const EditorSurface &editor,
                                         const ProcessNetwork &network);

    /// Renders now, shows the window and starts the refresh.
    void showPreview();

    /// Renders the current layout with the values of this moment.
    void refresh();

    /// The text shown, header and footer lines included.
    QString shownText() const;

    /// Fields marked as not fitting or without a value at the last refresh.
    int markedFields() const { return m_marked; }

    /// The findings listed at the last refresh, as the list shows them.
    QStringList shownFindings() const;

signals:
    /// The operator chose a finding about field `slot` in the list: show it in the editor.
    void fieldChosen(int slot);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void highlight(const RenderedTicket &ticket, const ShownTicket &shown);
    static QList<LayoutFinding> findings(const LayoutData &layout, const EditorSurface &editor,
                                         const ProcessNetwork &network);
    void listFindings(const QList<LayoutFinding> &found);

    const TicketModel &m_model;
    const EditorSurface &m_editor;
    const ProcessNetwork &m_network;
    QPlainTextEdit *m_view = nullptr;
    QLabel *m_status = nullptr;
    QListWidget *m_findings = nullptr;
    QList<LayoutFinding> m_listed;
    QTimer *m_timer = nullptr;
    int m_marked = 0;
};

} // namespace tkl
