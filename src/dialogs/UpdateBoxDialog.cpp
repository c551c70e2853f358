#include "UpdateBoxDialog.h"

#include "device-widgets/VariableTree.h"
#include "device/AutomationObject.h"
#include "device/NodeAttributes.h"
#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/ProgramTitle.h"
#include "model/Prompts.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"
#include "ui/KeyAscii.h"
#include "ui/NumberBox.h"
#include "ui/ScreenFit.h"
#include "ui/TwipsGeometry.h"
#include "ui/WindowLook.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
    , m_charsLabel(new QLabel(QStringLiteral(" Number of characters in update"), this))
    , m_digitsLabel(new QLabel(QStringLiteral(" Digits after decimal point"), this))
    , m_variableBox(new QLineEdit(VariablePlaceholder, this))
    , m_charsBox(new NumberBox(NumberPlaceholder, NumberBox::Range::Int16, this))
    , m_digitsBox(new NumberBox(NumberPlaceholder, NumberBox::Range::Int16, this))
    , m_treeButton(new QPushButton(QStringLiteral("Var"), this))
    , m_tree(new VariableTree(network, VariableTree::Mode::Variables, this))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("  UpdateBox"));
    // The window's own font is the one the field width is measured in.
    setFont(typewriterFont(QStringLiteral("Courier New"), 9.75));
    setGreyBackground(*this);

    layOutControls();
    writeEditsToRecord();
    connectLeavingRules();
    connect(m_treeButton, &QPushButton::clicked, this, &UpdateBoxDialog::expandTree);
    connect(m_tree, &VariableTree::VariableSelected, this, &UpdateBoxDialog::bindSelectedVariable);

    setCollapsed(true);
}

UpdateBoxDialog::~UpdateBoxDialog()
{
    // The boxes live on into QWidget's destructor, which takes their focus away: their
    // leaving rules must not reach this part of the window, which is gone by then.
    m_charsBox->disconnect(this);
    m_digitsBox->disconnect(this);
}

void UpdateBoxDialog::layOutControls()
{
    m_charsLabel->setObjectName(QStringLiteral("Label2"));
    m_digitsLabel->setObjectName(QStringLiteral("Label3"));
    m_variableBox->setObjectName(QStringLiteral("Text1"));
    m_charsBox->setObjectName(QStringLiteral("Text2"));
    m_digitsBox->setObjectName(QStringLiteral("Text3"));
    m_treeButton->setObjectName(QStringLiteral("SSCommand1"));
    m_tree->setObjectName(QStringLiteral("Vatrix1"));
    m_tree->setDesignSettings(QStringLiteral("FileName.ext"), QStringLiteral("TKPrint"),
                              QStringLiteral("Default Workspace"));

    const QFont small = typewriterFont(QStringLiteral("Courier New"), 8.25);
    for (QWidget *w : std::initializer_list<QWidget *>{m_charsLabel, m_digitsLabel, m_variableBox, m_charsBox,
                                                       m_digitsBox})
        w->setFont(small);

    setGeometryTwips(*m_charsLabel, 0, 300, 5775, 315);
    setGeometryTwips(*m_digitsLabel, 0, 600, 5775, 315);
    setGeometryTwips(*m_variableBox, 0, 0, 6795, 315);
    setGeometryTwips(*m_charsBox, 5760, 300, 1515, 315);
    setGeometryTwips(*m_digitsBox, 5760, 600, 1515, 315);
    setGeometryTwips(*m_treeButton, 6780, 0, 495, 315);
    setGeometryTwips(*m_tree, 0, 930, 7260, 4545);
    // The boxes overlap the labels by one border; keep them drawn on top.
    m_charsBox->raise();
    m_digitsBox->raise();
    m_treeButton->raise();
    m_treeButton->setToolTip(tr("Choose the variable from the network tree"));

    setTabOrder(m_variableBox, m_charsBox);
    setTabOrder(m_charsBox, m_digitsBox);
    setTabOrder(m_digitsBox, m_treeButton);
    setTabOrder(m_treeButton, m_tree);
}

void UpdateBoxDialog::writeEditsToRecord()
{
    // Every edit goes into the record at once; the numbers only while the field is in use.
    connect(m_variableBox, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (slotUsable())
            m_model.editRecord(m_model.CurrentBox, [&text](UpdateBox &box) { box.VarName = text; });
    });
    connect(m_charsBox, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!slotUsable() || !m_model.UpdateBoxes[m_model.CurrentBox].DataIn)
            return;
        if (const auto value = NumberBox::int16Value(text))
            m_model.editRecord(m_model.CurrentBox, [value](UpdateBox &box) { box.Chars = *value; });
    });
    connect(m_digitsBox, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!slotUsable() || !m_model.UpdateBoxes[m_model.CurrentBox].DataIn)
            return;
        if (const auto value = NumberBox::int16Value(text))
            m_model.editRecord(m_model.CurrentBox, [value](UpdateBox &box) { box.Digits = *value; });
    });
}

void UpdateBoxDialog::connectLeavingRules()
{
    connect(m_charsBox, &NumberBox::left, this, &UpdateBoxDialog::RefreshShape);
    connect(m_digitsBox, &NumberBox::left, this, &UpdateBoxDialog::leaveDigits);
    for (NumberBox *box : {m_charsBox, m_digitsBox}) {
        // The digit marks the field in use before the box's text changes.
        connect(box, &NumberBox::digitTyped, this, &UpdateBoxDialog::markInUse);
        connect(box, &NumberBox::enterPressed, this, [this, box] { leaveForEditor(box); });
    }
    // The variable box takes every key; Enter also leaves for the editor.
    m_variableBox->installEventFilter(this);
}

void UpdateBoxDialog::openForSlot(int slot)
{
    if (slot < TicketModel::FirstSlot || slot > TicketModel::LastSlot)
        return;
    const int top = m_editor.editorTopTwips() + m_editor.fieldTopTwips(slot);
    setCollapsed(true);
    placeOnScreen(*this, QPoint(pos().x(), Twips::toPixels(top, logicalDpiY())));
    setWindowTitle(QStringLiteral("UpdateBox ") + QString::number(slot));

    // setText reports a change only when the text really changes, and only then do
    // the boxes' change rules run.
    const UpdateBox &box = m_model.UpdateBoxes[slot];
    if (!box.DataIn) {
        m_variableBox->setText(VariablePlaceholder);
        m_charsBox->setText(NumberPlaceholder);
        m_digitsBox->setText(NumberPlaceholder);
    } else {
        const QString name = box.VarName;
        const QString chars = QString::number(box.Chars);
        const QString digits = QString::number(box.Digits);
        m_variableBox->setText(name);
        m_charsBox->setText(chars);
        m_digitsBox->setText(digits);
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
    // Grown with the tree near the bottom of the screen, it moves up to stay on it.
    if (isVisible())
        keepOnScreen(*this);
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

void UpdateBoxDialog::markInUse()
{
    if (slotUsable())
        m_model.editRecord(m_model.CurrentBox, [](UpdateBox &box) { box.DataIn = true; });
}

void UpdateBoxDialog::RefreshShape()
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
    const UpdateBox &box = m_model.UpdateBoxes[slot];
    if (box.Digits > box.Chars) {
        m_model.editRecord(slot, [](UpdateBox &record) { record.Digits = 0; });
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
    // What was read before a failure stays in the record, as each value is taken.
    UpdateBox box = m_model.UpdateBoxes[slot];
    QString reading;
    try {
        box.DataIn = true;
        box.VarName = m_tree->SelectedName();
        m_model.setRecord(slot, box);
        m_variableBox->setText(box.VarName);
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
        m_model.setRecord(slot, box);
    } catch (const AutomationError &error) {
        m_model.setRecord(slot, box);
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
        m_model.setRecord(slot, box);
        // The server's ErrorString does not describe this; say what did not fit.
        expandTree();
        showError(failure.text);
        return;
    }

    m_tree->hide();
    setCollapsed(true);
}

void UpdateBoxDialog::leaveBox(const QWidget *box)
{
    if (box == m_charsBox)
        RefreshShape();
    else if (box == m_digitsBox)
        leaveDigits();
}

void UpdateBoxDialog::leaveForEditor(QWidget *box)
{
    m_editor.focusText();
    // The box loses the focus with this; its leaving rule must run even when the
    // window system does not move the focus (the editor may be off screen).
    leaveBox(box);
    hide();
}

bool UpdateBoxDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_variableBox && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (keyAscii(*key) == 13)
            leaveForEditor(m_variableBox);
        if (typesCharacter(*key))
            markInUse();
    }
    return QWidget::eventFilter(watched, event);
}

void UpdateBoxDialog::closeEvent(QCloseEvent *event)
{
    if (isVisible())
        RefreshShape();
    // Closing only hides: the window keeps its contents for the next opening.
    QWidget::closeEvent(event);
}

} // namespace tkl
