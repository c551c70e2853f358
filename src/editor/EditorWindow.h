#pragma once

#include "editor/EditorSurface.h"
#include "model/UpdateBox.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <array>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QRubberBand;
class QScrollBar;

namespace tkl {

class CharGrid;
class LayoutHistory;
class TextBoxQueries;
class TicketModel;
class TicketTextBox;

/// The ticket editor (Form2): the text box Text1, its scroll bar VScroll1 and one
/// Frame1/Label1 pair over the text for every loaded field slot.
///
/// A child widget of the main window, which places it; the editor keeps its own
/// width and height as logical twips, snaps the width to whole character cells and
/// derives CharsPerLine from it. All geometry arguments and results are twips.
class EditorWindow : public QWidget, public EditorSurface
{
    Q_OBJECT

public:
    /// Object name of a field's frame and label; each carries the dynamic property
    /// "slot" (int).
    static constexpr const char *FrameName = "Frame1";
    static constexpr const char *LabelName = "Label1";
    /// The width the editor starts with and New asks for, twips (40 characters in a
    /// 120-twip cell).
    static constexpr int NewTicketWidth = 5260;

    /// What the editor shows of a field: whether it is there, its left and its top
    /// counted from the text's first line (so that scrolling does not change it), its
    /// width (twips) and its caption.
    struct FieldLook
    {
        bool shown = false;
        double left = 0;
        double textTop = 0;
        double width = 0;
        QString caption;
        friend bool operator==(const FieldLook &, const FieldLook &) = default;
    };

    explicit EditorWindow(TicketModel &model, QWidget *parent = nullptr);
    ~EditorWindow() override;

    /// The one history of the layout: the text and the fields.
    LayoutHistory &history() const;

    QPlainTextEdit *textBox() const;
    /// The same box, with the layout's text in and out (a lone LF kept in its line).
    TicketTextBox *ticketBox() const;
    QScrollBar *scrollBar() const;
    TextBoxQueries &queries();

    // --- geometry -------------------------------------------------------------

    /// The widest the editor may become: the main window's width.
    void setMaxWidthTwips(int mainWindowWidth);
    /// Asks for a window width: snapped to k x CharWidth + 250, never wider than the
    /// maximum; the height follows 22 lines; CharsPerLine and the readout refreshed.
    void setWidthTwips(double requested);
    /// Asks for a window height. The editor always shows 22 lines, so this lays the
    /// window out again at 22 x LineHeight + 200.
    void setHeightTwips(double requested);
    double widthTwips() const;
    double heightTwips() const;
    /// Width and height of "a" in the editor font, measured now, in twips.
    int charWidthTwips() const;
    int lineHeightTwips() const;

    // --- readout and scrolling -------------------------------------------------

    /// CharsPerLine from the box width, the readout text, EditorWidth from the window.
    void RefreshReadout();
    /// The scroll bar's maximum and value from the box's line count and top line.
    void SyncScrollBar();
    /// ScrollDelta from the bar against ScrollPos; fields follow; ScrollPos updated.
    void followScroll();
    /// The readout as last written: "Ch:" N CR LF "Ln:" M.
    QString readoutText() const;
    /// After New or Open: maximum 22 (or ticketLines when 23 or more), value 22,
    /// ScrollPos 22.
    void resetScrollBar(int ticketLines);

    // --- fields ---------------------------------------------------------------

    /// Insert UpdateBox: the lowest free slot gets a field in the cascade with the
    /// caption "UpdateBox" + slot. Returns the slot, or 0 when all 30 are loaded
    /// (nothing changes then; the caller tells the operator).
    int insertField();
    /// Delete UpdateBox: eraser pointer from appFolder + "/erase01.ico" (the default
    /// pointer when it cannot be loaded) and DeleteMode on.
    void armDelete(const QString &appFolder);
    /// The editor's default mouse pointer; DeleteMode is left as it is.
    void restoreDefaultPointer();
    /// Duplicate: a copy of the field of `slot` (its record, width and caption) in the
    /// lowest free slot, one line below, as one step of the history; the copy becomes
    /// CurrentBox. Returns its slot, 0 when all 30 are loaded, -1 when `slot` has no field.
    int duplicateField(int slot);
    /// Destroys the slot's pair and frees the slot. Nothing when it is not loaded.
    void unloadField(int slot);
    /// The slot's field as shown; `shown` false when the slot is free.
    FieldLook fieldLook(int slot) const;
    /// Shows the slot's field as `look` says: created, moved and reshaped, or removed.
    void showFieldLook(int slot, const FieldLook &look);
    /// Creates the slot's pair for a field read from a file (replacing any pair it has).
    void loadFieldFromRecord(int slot, int left, int top, int width, const QString &caption);
    /// The slot's pair, or nullptr when the slot is free.
    QWidget *fieldFrame(int slot) const;
    QLabel *fieldLabel(int slot) const;
    /// Left of Frame1(slot) in the editor.
    int fieldLeftTwips(int slot) const;
    /// True while a field is being dragged.
    bool isDragging() const;

    /// Selects field `slot` (CurrentBox) and shows it: the text scrolls, the fields with
    /// it, until the field's line is in view, and the field is marked for a moment
    /// (ChosenMarkMs). Nothing for a free slot.
    void showField(int slot);
    static constexpr int ChosenMarkMs = 2000;

    /// What a field label's tooltip says: its slot, variable, Chars and Digits.
    static QString fieldTip(int slot, const UpdateBox &box);

    // --- EditorSurface ----------------------------------------------------------
    int editorTopTwips() const override;
    int fieldTopTwips(int slot) const override;
    void setFieldShape(int slot, int widthTwips, const QString &caption) override;
    void setFieldCaption(int slot, const QString &caption) override;
    void focusText() override;
    void requestEditorWidth(double twips) override;
    int lineCount() const override;
    QStringList boxLines() const override;
    QList<int> fieldsOverScrollBar() const override;

signals:
    /// The readout changed; the main window shows it in its Label1.
    void readoutChanged(const QString &text);
    /// Mouse pressed in the text (the main window hides Form3, Form4 and Form6).
    void textPressed();
    /// Mouse moved over the text (the main window hides the tooltip and stops Timer1).
    void textMouseMoved();
    /// Mouse pressed on the editor's own background (the main window hides Form6).
    void backgroundPressed();
    /// A field's label was pressed, after the editor's own steps: CurrentBox is set and
    /// the field was deleted (delete mode) or its drag began.
    void fieldPressed(int slot, Qt::MouseButton button, bool deleted);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Field
    {
        QFrame *frame = nullptr;
        QLabel *label = nullptr;
        double left = 0;
        double top = 0;
        double width = 0;
    };

    CharGrid grid() const;
    double dpiX() const;
    double dpiY() const;
    int px(double twips, bool vertical = false) const;
    double twipsX(int pixels) const;
    double twipsY(int pixels) const;

    void runResize(double requestedWidth);
    void layoutChildren();
    void moveFieldsBy(int lines);
    /// ScrollDelta from `value` against ScrollPos; fields follow; ScrollPos := value.
    void fieldsFollow(int value);
    void scrollBarWork(int value);
    void onSliderMoved(int position);
    void onValueChanged(int value);

    void createField(int slot, double left, double top, double width, const QString &caption);
    /// Every label's tooltip from the model.
    void refreshFieldTips();
    /// The label's colours: marked as chosen, or as every field is.
    void markField(int slot, bool chosen);
    void destroyField(int slot);
    void placeField(int slot);
    int slotOf(const QObject *object) const;

    void labelPressed(int slot, QMouseEvent *event);
    void dragMove(const QPoint &editorPos);
    void dragRelease(const QPoint &editorPos);
    void endDrag();
    bool isOverText(const QPoint &editorPos) const;

    TicketModel &m_model;
    TicketTextBox *m_text = nullptr;
    QScrollBar *m_scroll = nullptr;
    TextBoxQueries *m_queries = nullptr;
    LayoutHistory *m_history = nullptr;
    QRubberBand *m_outline = nullptr;
    std::array<Field, 31> m_fields{};
    // Pairs taken off the editor but not yet deleted: a pair may be removed while
    // its own label is handling the mouse press that removes it.
    QList<QPointer<QFrame>> m_retired;

    double m_widthTwips = 0;
    double m_heightTwips = 0;
    int m_maxWidthTwips = 0;
    bool m_inResize = false;
    QSet<int> m_keysDown;  ///< keys pressed in the text and not yet released
    bool m_wheelFromText = false;
    QString m_readout;

    double m_dragOffsetX = 0;
    double m_dragOffsetY = 0;
    int m_dragSlot = 0;
    Qt::MouseButton m_dragButton = Qt::NoButton;
    QPoint m_dragPressPos;
    QPoint m_dragFrameOrigin;
};

} // namespace tkl
