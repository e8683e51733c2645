#include "form2.h"

#include "centreonscreen.h"
#include "dragbybody.h"
#include "failuremessage.h"
#include "iplistcaptionlabel.h"
#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplistsettings.h"
#include "settingsstore.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

const QString Marker = u"X"_s;

constexpr int TwipsPerInch = 1440;
constexpr int ColumnWidthTwips[GridColumnCount] = {1800, 3100, 200};

// Focus that comes and goes with the whole window (another application, a
// message box) is no move inside the list.
bool isMoveInsideWindow(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// Where echo requests cannot be sent, rows without a mark would say that
// nothing answers: the user is told so instead, once for this probing.
QList<bool> probeOrTell(IPListProbe &probe, const QStringList &ipNumbers, QWidget *parent)
{
    EchoProber &prober = probe.prober();
    if (!prober.ensureAvailable()) {
        showFailureMessage(parent, echoUnavailableMessage(prober.unavailableReason()));
        return {};
    }
    return probe.probeAndWait(ipNumbers);
}

} // namespace

Form2::Form2(SettingsStore &store, EchoProber &prober, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Label1(new IPListCaptionLabel(this))
    , MSFlexGrid1(new IPListGrid(this))
    , Label2(new QLabel(this))
    , Text2(new QLineEdit(this))
    , m_store(store)
    , m_probe(prober)
{
    setUpControls();
    Form_Load();

    connect(MSFlexGrid1, &IPListGrid::cellLeft, this, &Form2::MSFlexGrid1_LeaveCell);
    connect(MSFlexGrid1, &IPListGrid::cellEntered, this, &Form2::MSFlexGrid1_EnterCell);
    connect(MSFlexGrid1, &IPListGrid::mousePressed, this, &Form2::MSFlexGrid1_MouseDown);
    connect(MSFlexGrid1, &IPListGrid::scrolled, this, &Form2::MSFlexGrid1_Scroll);
    Text2->installEventFilter(this);
}

Form2::~Form2() = default;

int Form2::twipsX(int twips) const
{
    return qRound(twips * logicalDpiX() / double(TwipsPerInch));
}

int Form2::twipsY(int twips) const
{
    return qRound(twips * logicalDpiY() / double(TwipsPerInch));
}

void Form2::setUpControls()
{
    setWindowTitle(u"Corvane - IP Number List"_s);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(twipsX(5760), twipsY(3525));

    Label1->setObjectName(u"Label1"_s);
    Label1->setText(u"IP Number                        Description"_s);
    QPalette darkBlue = Label1->palette();
    darkBlue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    Label1->setPalette(darkBlue);
    Label1->setGeometry(twipsX(120), twipsY(0), twipsX(5415), twipsY(255));

    MSFlexGrid1->setObjectName(u"MSFlexGrid1"_s);
    MSFlexGrid1->setGeometry(twipsX(120), twipsY(240), twipsX(5535), twipsY(2775));
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(
        qMax(twipsY(255), MSFlexGrid1->fontMetrics().height() + 4));

    Label2->setObjectName(u"Label2"_s);
    Label2->setText(u"Press F5 to refresh, F6 to load file, ESC to close this window"_s);
    // Wider than laid out when the font needs it: the help text is never cut.
    Label2->setGeometry(twipsX(120), twipsY(3120),
                        qBound(twipsX(4695), Label2->sizeHint().width(), width() - twipsX(120)),
                        twipsY(255));

    Text2->setObjectName(u"Text2"_s);
    // Any stored text, however long, passes through the edit box unchanged.
    Text2->setMaxLength(std::numeric_limits<int>::max());
    Text2->hide();
    Text2->raise();

    // The window's own surface and both labels centre the window on a
    // double-click and drag it with the left button; the grid and the edit
    // box do neither.
    auto *dragByBody = new DragByBody(this);
    dragByBody->watch(this);
    dragByBody->watch(Label1);
    dragByBody->watch(Label2);
}

void Form2::Form_Load()
{
    const WaitCursor hourglass;
    Text2->setFrame(false);

    MSFlexGrid1->setColumnCount(GridColumnCount);
    MSFlexGrid1->clearContents();
    MSFlexGrid1->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < GridColumnCount; ++column)
        MSFlexGrid1->setColumnWidth(column, twipsX(ColumnWidthTwips[column]));
    alignLabel1WithColumns();

    Text2->setText(ReadFirstIPNumber(m_store));

    // Every cell is filled on its own, never split from one tab-joined row
    // text, so a tab inside a stored text stays in its cell, is shown as blank
    // space and is written back unchanged.
    const QList<IPListEntry> stored = LoadEntries(m_store);
    MSFlexGrid1->setRowCount(0);
    MSFlexGrid1->setRowCount(int(stored.size()));
    for (int row = 0; row < stored.size(); ++row) {
        MSFlexGrid1->setCellText(row, IPNumberColumn, stored.at(row).ipNumber);
        MSFlexGrid1->setCellText(row, DescriptionColumn, stored.at(row).description);
        MSFlexGrid1->setCellText(row, MarkerColumn, QString());
        MSFlexGrid1->item(row, MarkerColumn)->setTextAlignment(Qt::AlignCenter);
    }
    setMarks(probeOrTell(m_probe, ipNumbers(), this));
    MSFlexGrid1->setCurrentCell(0, IPNumberColumn);
}

// The word "Description" stands where the Description column's texts start.
void Form2::alignLabel1WithColumns()
{
    const int cellTextMargin =
        MSFlexGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, MSFlexGrid1) + 1;
    const int descriptionX = MSFlexGrid1->x() + MSFlexGrid1->frameWidth() +
                             MSFlexGrid1->columnViewportPosition(DescriptionColumn) +
                             cellTextMargin;
    Label1->setSecondColumnX(descriptionX - Label1->x());
}

bool Form2::Form_Unload()
{
    // entries() counts the edit box's text for its cell: closing right after
    // typing must not lose what was typed.
    if (SaveEntries(m_store, entries()))
        return true;

    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, u"Corvane"_s,
                    tr("The IP Number List could not be saved.\n\n%1\n\n"
                       "Close the list anyway and lose the changes?")
                        .arg(m_store.lastError()),
                    QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Discard;
}

bool Form2::Form_KeyDown(int KeyCode, int Shift)
{
    switch (KeyActionFor(KeyCode, Shift)) {
    case IPListKeyAction::Close:
        close();
        return true;
    case IPListKeyAction::Refresh:
        Refresh();
        return true;
    case IPListKeyAction::FeatureNotAvailable:
        ShowFeatureNotAvailable();
        return true;
    case IPListKeyAction::None:
        break;
    }
    return false;
}

void Form2::ShowFeatureNotAvailable()
{
    QMessageBox box(QMessageBox::NoIcon, u"Corvane"_s, u"Feature not available yet."_s,
                    QMessageBox::Ok, this);
    box.exec();
}

void Form2::ShowCellEditor()
{
    const int row = MSFlexGrid1->currentRow();
    const int column = MSFlexGrid1->currentColumn();
    Text2->setVisible(true);
    if (Refreshing || row < 0 || column < 0)
        return;
    Text2->setGeometry(MSFlexGrid1->cellRect(row, column, this));
    Text2->raise();
    Text2->setFocus(Qt::OtherFocusReason);
}

void Form2::Text2_GotFocus()
{
    writeEditorInto(MSFlexGrid1->currentRow(), MSFlexGrid1->currentColumn());
    ShowCellEditor();
}

void Form2::Text2_LostFocus()
{
    if (Refreshing)
        return;
    if (SkipFocusAdvance) {
        SkipFocusAdvance = false;
        return;
    }
    const std::optional<GridCell> next = NextCellAfter(
        {MSFlexGrid1->currentRow(), MSFlexGrid1->currentColumn()}, MSFlexGrid1->rowCount());
    if (!next)
        return;
    MSFlexGrid1->setCurrentCell(next->row, next->column);
    ShowCellEditor();
}

void Form2::MSFlexGrid1_EnterCell(int row, int column)
{
    if (Refreshing)
        return;
    if (column == MarkerColumn)
        EnteredMarker = MSFlexGrid1->cellText(row, column);
    Text2->setText(MSFlexGrid1->cellText(row, column));
}

void Form2::MSFlexGrid1_LeaveCell(int row, int column)
{
    if (Refreshing)
        return;
    writeEditorInto(row, column);
    Text2->clear();
    if (column == MarkerColumn)
        MSFlexGrid1->setCellText(row, column, EnteredMarker);
}

void Form2::MSFlexGrid1_MouseDown(Qt::MouseButton button)
{
    Q_UNUSED(button) // any button
    SkipFocusAdvance = true;
    writeEditorInto(MSFlexGrid1->currentRow(), MSFlexGrid1->currentColumn());
    ShowCellEditor();
}

void Form2::MSFlexGrid1_Scroll()
{
    Text2->hide();
}

// All rows are probed at once. The current cell does not move, so the edit box
// stays over the cell it stands for and keeps what was typed into it; over a
// marker cell it takes the new mark.
void Form2::Refresh()
{
    if (Refreshing)
        return;
    const WaitCursor hourglass;
    Refreshing = true;
    const int row = MSFlexGrid1->currentRow();
    const int column = MSFlexGrid1->currentColumn();
    // The probe takes the IP Number the user sees, typed or not.
    writeEditorInto(row, column);
    setMarks(probeOrTell(m_probe, ipNumbers(), this));
    if (column == MarkerColumn) {
        EnteredMarker = MSFlexGrid1->cellText(row, column);
        Text2->setText(EnteredMarker);
    }
    Refreshing = false;
}

void Form2::writeEditorInto(int row, int column)
{
    if (row < 0 || column < 0)
        return;
    MSFlexGrid1->setCellText(row, column, Text2->text());
}

void Form2::setMarks(const QList<bool> &answered)
{
    for (int row = 0; row < MSFlexGrid1->rowCount(); ++row)
        MSFlexGrid1->setCellText(row, MarkerColumn,
                                 row < answered.size() && answered.at(row) ? Marker : QString());
}

QStringList Form2::ipNumbers() const
{
    QStringList texts;
    for (int row = 0; row < MSFlexGrid1->rowCount(); ++row)
        texts.append(MSFlexGrid1->cellText(row, IPNumberColumn));
    return texts;
}

QList<IPListEntry> Form2::entries() const
{
    const int currentRow = MSFlexGrid1->currentRow();
    const int currentColumn = MSFlexGrid1->currentColumn();
    QList<IPListEntry> rows;
    for (int row = 0; row < MSFlexGrid1->rowCount(); ++row) {
        IPListEntry entry{MSFlexGrid1->cellText(row, IPNumberColumn),
                          MSFlexGrid1->cellText(row, DescriptionColumn)};
        if (row == currentRow && currentColumn == IPNumberColumn)
            entry.ipNumber = Text2->text();
        else if (row == currentRow && currentColumn == DescriptionColumn)
            entry.description = Text2->text();
        rows.append(entry);
    }
    return rows;
}

void Form2::done(int result)
{
    if (m_open && !Form_Unload())
        return;
    m_open = false;
    QDialog::done(result);
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Text2)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (Form_KeyDown(VirtualKeyCode(key->key(), key->modifiers()),
                         ShiftState(key->modifiers())))
            return true;
        // Scrolled away, the edit box is hidden but keeps the focus: what is
        // typed would reach its cell unseen. Such a key does nothing, as on the
        // grid, until a click lays the edit box over a cell again.
        if (Text2->isHidden())
            return true;
        // The edit box is the only stop: Tab leaves the focus where it is.
        return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    }
    case QEvent::InputMethod:
        if (Text2->isHidden())
            return true;
        break;
    case QEvent::FocusIn:
        if (isMoveInsideWindow(static_cast<QFocusEvent *>(event)->reason()))
            Text2_GotFocus();
        break;
    case QEvent::FocusOut:
        if (isMoveInsideWindow(static_cast<QFocusEvent *>(event)->reason()))
            Text2_LostFocus();
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    // Keys the edit box leaves alone (Enter, Up, Down, ...) end here: none of
    // them moves the current cell or presses a default button.
    Form_KeyDown(VirtualKeyCode(event->key(), event->modifiers()), ShiftState(event->modifiers()));
    event->accept();
}

void Form2::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // A dialog being shown hands its first control a Tab focus, which selects
    // the edit box's whole text: one keystroke would then replace the cell's
    // text unseen.
    if (visible)
        Text2->deselect();
}

void Form2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_open = true;
    if (!m_placed) {
        m_placed = true;
        CentreOnScreen(this);
        ShowCellEditor();
    }
}
