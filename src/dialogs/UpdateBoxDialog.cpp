#include "UpdateBoxDialog.h"

#include "DialogFonts.h"
#include "Int16TextValidator.h"
#include "KeyAscii.h"

#include "device/AutomationObject.h"
#include "device/NodeAttributes.h"
#include "device/VariableTree.h"
#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/ProgramTitle.h"
#include "model/Prompts.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace tkl {

namespace {

const QString VariablePlaceholder = QStringLiteral(" Press tree to select variable");
const QString NumberPlaceholder = QStringLiteral(" Not selected");

/// A value the server gave that the record cannot hold; carries the operator's text.
struct ConversionFailure
{
    QString text;
};

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

/// Reads one attribute; an invalid answer (the server did not raise) is a failure too.
QVariant readProperty(AutomationObject &server, const QString &name)
{
    const QVariant value = server.property(name);
    if (!value.isValid())
        throw ConversionFailure{QStringLiteral("The server gave no value for \"%1\"").arg(name)};
    return value;
}

/// A numeric attribute rounded halves to even into [min, max].
int readWhole(AutomationObject &server, const QString &name, int min, int max)
{
    const QVariant value = readProperty(server, name);
    std::optional<double> number;
    if (value.typeId() == QMetaType::QString) {
        number = parseDecimal(value.toString());
    } else {
        bool ok = false;
        if (const double converted = value.toDouble(&ok); ok)
            number = converted;
    }
    if (!number)
        throw ConversionFailure{QStringLiteral("%1 \"%2\" is not a number").arg(name, value.toString())};
    const auto fitted = fitRounded(*number, min, max);
    if (!fitted) {
        throw ConversionFailure{QStringLiteral("%1 %2 does not fit the field (%3 to %4)")
                                    .arg(name, numberText(*number), QString::number(min), QString::number(max))};
    }
    return *fitted;
}

/// The node number: the last two characters of the node address, both decimal digits.
quint8 nodeNumber(const QString &address)
{
    const auto number = nodeNumberFromAddress(address);
    if (!number)
        throw ConversionFailure{QStringLiteral("NodeAddress \"%1\" does not end in two digits").arg(address)};
    return *number;
}

/// The capability code: the leading number of the text (none gives 0), 0 to 255.
quint8 capabilityCode(const QString &capabilities)
{
    const auto code = capabilityCodeFrom(capabilities);
    if (!code) {
        throw ConversionFailure{
            QStringLiteral("Nodecapabilities \"%1\" does not fit the field (0 to 255)").arg(capabilities)};
    }
    return *code;
}

} // namespace

UpdateBoxDialog::UpdateBoxDialog(TicketModel &model, AutomationObject &sharedServer, const ProcessNetwork &network,
                                 EditorSurface &editor, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_server(sharedServer)
    , m_editor(editor)
    , m_prompts(prompts)
    , m_label2(new QLabel(QStringLiteral(" Number of characters in update"), this))
    , m_label3(new QLabel(QStringLiteral(" Digits after decimal point"), this))
    , m_text1(new QLineEdit(VariablePlaceholder, this))
    , m_text2(new QLineEdit(NumberPlaceholder, this))
    , m_text3(new QLineEdit(NumberPlaceholder, this))
    , m_treeButton(new QPushButton(QStringLiteral("Var"), this))
    , m_tree(new VariableTree(network, VariableTree::Mode::Variables, this))
    , m_validator(new Int16TextValidator(this))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("  UpdateBox"));
    // The window's own font is the one the field width is measured in.
    setFont(fixedFont(QStringLiteral("Courier New"), 9.75));
    setGreyBackground(*this);

    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_treeButton->setObjectName(QStringLiteral("SSCommand1"));
    m_tree->setObjectName(QStringLiteral("Vatrix1"));
    m_tree->setDesignSettings(QStringLiteral("FileName.ext"), QStringLiteral("TKPrint"),
                              QStringLiteral("Default Workspace"));

    const QFont small = fixedFont(QStringLiteral("Courier New"), 8.25);
    for (QWidget *w : {static_cast<QWidget *>(m_label2), static_cast<QWidget *>(m_label3),
                       static_cast<QWidget *>(m_text1), static_cast<QWidget *>(m_text2),
                       static_cast<QWidget *>(m_text3)})
        w->setFont(small);

    setGeometryTwips(*m_label2, 0, 300, 5775, 315);
    setGeometryTwips(*m_label3, 0, 600, 5775, 315);
    setGeometryTwips(*m_text1, 0, 0, 6795, 315);
    setGeometryTwips(*m_text2, 5760, 300, 1515, 315);
    setGeometryTwips(*m_text3, 5760, 600, 1515, 315);
    setGeometryTwips(*m_treeButton, 6780, 0, 495, 315);
    setGeometryTwips(*m_tree, 0, 930, 7260, 4545);
    // The boxes overlap the labels by one border; keep them drawn on top.
    m_text2->raise();
    m_text3->raise();
    m_treeButton->raise();
    m_treeButton->setToolTip(tr("Choose the variable from the network tree"));

    setTabOrder(m_text1, m_text2);
    setTabOrder(m_text2, m_text3);
    setTabOrder(m_text3, m_treeButton);
    setTabOrder(m_treeButton, m_tree);

    for (QLineEdit *box : {m_text2, m_text3}) {
        box->setValidator(m_validator);
        // Only typed digits reach the number boxes.
        acceptTypedKeysOnly(*box);
        selectAllOnFocus(*box);
    }
    for (QLineEdit *box : {m_text1, m_text2, m_text3})
        box->installEventFilter(this);

    connect(m_text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (slotUsable())
            m_model.UpdateBoxes[m_model.CurrentBox].VarName = text;
    });
    connect(m_text2, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!slotUsable() || !m_model.UpdateBoxes[m_model.CurrentBox].DataIn)
            return;
        if (const auto value = Int16TextValidator::valueOf(text))
            m_model.UpdateBoxes[m_model.CurrentBox].Chars = *value;
    });
    connect(m_text3, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!slotUsable() || !m_model.UpdateBoxes[m_model.CurrentBox].DataIn)
            return;
        if (const auto value = Int16TextValidator::valueOf(text))
            m_model.UpdateBoxes[m_model.CurrentBox].Digits = *value;
    });
    connect(m_treeButton, &QPushButton::clicked, this, &UpdateBoxDialog::expandTree);
    connect(m_tree, &VariableTree::VariableSelected, this, &UpdateBoxDialog::bindSelectedVariable);

    setCollapsed(true);
}

void UpdateBoxDialog::openForSlot(int slot)
{
    if (slot < TicketModel::FirstSlot || slot > TicketModel::LastSlot)
        return;
    const int top = m_editor.editorTopTwips() + m_editor.fieldTopTwips(slot);
    move(pos().x(), Twips::toPixels(top, logicalDpiY()));
    setCollapsed(true);
    setWindowTitle(QStringLiteral("UpdateBox ") + QString::number(slot));

    // setText reports a change only when the text really changes, and only then do
    // the boxes' change rules run.
    const UpdateBox &box = m_model.UpdateBoxes[slot];
    if (!box.DataIn) {
        m_text1->setText(VariablePlaceholder);
        m_text2->setText(NumberPlaceholder);
        m_text3->setText(NumberPlaceholder);
    } else {
        const QString name = box.VarName;
        const QString chars = QString::number(box.Chars);
        const QString digits = QString::number(box.Digits);
        m_text1->setText(name);
        m_text2->setText(chars);
        m_text3->setText(digits);
    }

    show();
    raise();
    activateWindow();
    m_treeButton->setFocus();
}

void UpdateBoxDialog::setCollapsed(bool collapsed)
{
    m_heightTwips = collapsed ? CollapsedHeight : ExpandedHeight;
    setFixedClientTwips(*this, ClientWidth, m_heightTwips - FrameAllowance);
}

QString UpdateBoxDialog::digitsCaption(int chars, int digits)
{
    return QString(std::max(chars - digits - 1, 0), u'X') + u'.' + QString(std::max(digits, 0), u'X');
}

bool UpdateBoxDialog::slotUsable() const
{
    // The window may outlive its field: a press in delete mode frees the slot without
    // hiding the window. Edits then have nowhere to go.
    const int slot = m_model.CurrentBox;
    return slot >= TicketModel::FirstSlot && slot <= TicketModel::LastSlot && m_model.BoxLoaded[slot] == 1;
}

void UpdateBoxDialog::refreshShape()
{
    if (!slotUsable())
        return;
    const int slot = m_model.CurrentBox;
    const UpdateBox &box = m_model.UpdateBoxes[slot];
    // A negative width can only come from a file and gives no field to draw.
    if (box.Chars <= 0)
        return;
    const int w = cellWidthTwips(*this, font());
    m_editor.setFieldShape(slot, box.Chars * w + 40, ShapeCaption(box.Chars, box.Digits));
}

void UpdateBoxDialog::leaveDigits()
{
    if (!slotUsable())
        return;
    const int slot = m_model.CurrentBox;
    UpdateBox &box = m_model.UpdateBoxes[slot];
    if (box.Digits > box.Chars) {
        box.Digits = 0;
        return;
    }
    if (box.Digits <= 0)
        return;
    m_editor.setFieldCaption(slot, digitsCaption(box.Chars, box.Digits));
}

void UpdateBoxDialog::expandTree()
{
    setCollapsed(false);
    m_tree->show();
}

void UpdateBoxDialog::showError(const QString &text)
{
    m_prompts.showMessage(ProgramTitle, QStringLiteral("Error Message: ") + text,
                          Prompts::Icon::Warning);
}

void UpdateBoxDialog::bindSelectedVariable()
{
    if (!slotUsable())
        return;
    try {
        m_server.setProperty(QStringLiteral("EnableExceptions"), true);
    } catch (const AutomationError &error) {
        // Nothing has been touched yet.
        showError(error.text().isEmpty() ? QStringLiteral("The server refused \"EnableExceptions\"") : error.text());
        return;
    }

    const int slot = m_model.CurrentBox;
    QString reading;
    try {
        UpdateBox &box = m_model.UpdateBoxes[slot];
        box.DataIn = true;
        box.VarName = m_tree->SelectedName();
        m_text1->setText(box.VarName);
        reading = QStringLiteral("PhysId");
        m_server.setProperty(reading, m_tree->SelectedName());

        reading = QStringLiteral("NodeAddress");
        box.NodeAdr = nodeNumber(readProperty(m_server, reading).toString());
        constexpr int int16Min = std::numeric_limits<qint16>::min();
        constexpr int int16Max = std::numeric_limits<qint16>::max();
        reading = QStringLiteral("InternalAddress");
        box.SWNo = qint16(readWhole(m_server, reading, int16Min, int16Max));
        reading = QStringLiteral("Offset");
        box.Offset = qint16(readWhole(m_server, reading, int16Min, int16Max));
        reading = QStringLiteral("SubDataType");
        box.Typ = qint16(readWhole(m_server, reading, int16Min, int16Max));
        reading = QStringLiteral("BitNo");
        box.BitNo = quint8(readWhole(m_server, reading, 0, 255));
        reading = QStringLiteral("Nodecapabilities");
        box.Code = capabilityCode(readProperty(m_server, reading).toString());
    } catch (const AutomationError &error) {
        QString text;
        try {
            text = m_server.property(QStringLiteral("ErrorString")).toString();
        } catch (const AutomationError &) {
            // The exception carries the same text.
        }
        if (text.isEmpty())
            text = error.text();
        if (text.isEmpty())
            text = QStringLiteral("Access to \"%1\" failed").arg(reading);
        expandTree();
        showError(text);
        return;
    } catch (const ConversionFailure &failure) {
        // The server's ErrorString does not describe this; say what did not fit.
        expandTree();
        showError(failure.text);
        return;
    }

    m_tree->hide();
    setCollapsed(true);
}

bool UpdateBoxDialog::digitFits(const QLineEdit &box, QChar digit) const
{
    QString text = box.text();
    int pos = box.cursorPosition();
    if (box.hasSelectedText()) {
        pos = box.selectionStart();
        text.remove(pos, box.selectedText().size());
    }
    text.insert(pos, digit);
    return m_validator->validate(text, pos) == QValidator::Acceptable;
}

void UpdateBoxDialog::leaveBox(const QLineEdit *box)
{
    if (box == m_text2)
        refreshShape();
    else if (box == m_text3)
        leaveDigits();
}

void UpdateBoxDialog::leaveForEditor(QLineEdit *box)
{
    m_editor.focusText();
    // The box loses the focus with this; its leaving rule must run even when the
    // window system does not move the focus (the editor may be off screen).
    leaveBox(box);
    hide();
}

bool UpdateBoxDialog::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box != m_text1 && box != m_text2 && box != m_text3)
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const int code = keyAscii(*key);
        if (box == m_text1) {
            if (code == 13)
                leaveForEditor(box);
            if (typesCharacter(*key) && slotUsable())
                m_model.UpdateBoxes[m_model.CurrentBox].DataIn = true;
            return false;
        }
        if (code == 13) {
            leaveForEditor(box);
            return true;
        }
        if (key->matches(QKeySequence::Paste))
            return true;
        if (!typesCharacter(*key))
            return false; // caret movement and Delete; the validator guards the value
        if (!isDigitCode(code) || !digitFits(*box, QChar(code)))
            return true;
        if (slotUsable())
            m_model.UpdateBoxes[m_model.CurrentBox].DataIn = true;
        return false;
    }

    // The selection paste of the middle button would put any text into a number box.
    if (event->type() == QEvent::MouseButtonRelease && box != m_text1
        && static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton)
        return true;

    if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        leaveBox(box);
    return QWidget::eventFilter(watched, event);
}

void UpdateBoxDialog::closeEvent(QCloseEvent *event)
{
    if (isVisible())
        refreshShape();
    // Closing only hides: the window keeps its contents for the next opening.
    QWidget::closeEvent(event);
}

} // namespace tkl
