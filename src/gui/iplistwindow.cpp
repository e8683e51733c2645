#include "iplistwindow.h"

#include "centreonscreen.h"
#include "dragbybody.h"
#include "failuremessage.h"
#include "iplistcaptionlabel.h"
#include "iplistgrid.h"
#include "iplistrules.h"
#include "settingsstore.h"
#include "waitcursor.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kColumnWidthTwips[kGridColumnCount] = {1800, 3100, 200};

// Focus that comes and goes with the whole window (another application, a
// message box) is no move inside the list.
bool isMoveInsideWindow(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

IpListWindow::IpListWindow(SettingsStore &store, EchoProber &prober, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_columnCaption(new IpListCaptionLabel(this))
    , m_grid(new IpListGrid(this))
    , m_keyHelp(new QLabel(this))
    , m_cellEditor(new QLineEdit(this))
    , m_store(store)
    , m_sheet(prober)
{
    setUpControls();
    setUpGrid();
    {
        const WaitCursor hourglass;
        m_sheet.load(m_store);
        if (const std::optional<QString> message = m_sheet.refreshMarks())
            showFailureMessage(this, *message);
        showCells();
        showCurrentCell();
        m_cellEditor->setText(m_sheet.editorText());
    }

    connect(m_cellEditor, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_sheet.setEditorText(text); });
    connect(m_grid, &IpListGrid::currentCellChanged, this, &IpListWindow::onCurrentCellChanged);
    connect(m_grid, &IpListGrid::mousePressed, this, &IpListWindow::onGridMousePressed);
    connect(m_grid, &IpListGrid::scrolled, this, &IpListWindow::onGridScrolled);
    m_cellEditor->installEventFilter(this);
}

IpListWindow::~IpListWindow() = default;

int IpListWindow::twipsX(int twips) const
{
    return qRound(twips * logicalDpiX() / double(kTwipsPerInch));
}

int IpListWindow::twipsY(int twips) const
{
    return qRound(twips * logicalDpiY() / double(kTwipsPerInch));
}

void IpListWindow::setUpControls()
{
    setWindowTitle(u"Corvane - IP Number List"_s);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(twipsX(5760), twipsY(3525));

    m_columnCaption->setObjectName(u"columnCaption"_s);
    m_columnCaption->setText(u"IP Number                        Description"_s);
    QPalette darkBlue = m_columnCaption->palette();
    darkBlue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    m_columnCaption->setPalette(darkBlue);
    m_columnCaption->setGeometry(twipsX(120), twipsY(0), twipsX(5415), twipsY(255));

    m_grid->setObjectName(u"grid"_s);
    m_grid->setGeometry(twipsX(120), twipsY(240), twipsX(5535), twipsY(2775));
    m_grid->verticalHeader()->setDefaultSectionSize(
        qMax(twipsY(255), m_grid->fontMetrics().height() + 4));

    m_keyHelp->setObjectName(u"keyHelp"_s);
    m_keyHelp->setText(u"Press F5 to refresh, F6 to load file, ESC to close this window"_s);
    // Wider than laid out when the font needs it: the help text is never cut.
    m_keyHelp->setGeometry(
        twipsX(120), twipsY(3120),
        qBound(twipsX(4695), m_keyHelp->sizeHint().width(), width() - twipsX(120)), twipsY(255));

    m_cellEditor->setObjectName(u"cellEditor"_s);
    // Any stored text, however long, passes through the edit box unchanged.
    m_cellEditor->setMaxLength(std::numeric_limits<int>::max());
    m_cellEditor->hide();
    m_cellEditor->raise();

    // The window's own surface and both labels centre the window on a
    // double-click and drag it with the left button; the grid and the edit
    // box do neither.
    auto *dragByBody = new DragByBody(this);
    dragByBody->watch(this);
    dragByBody->watch(m_columnCaption);
    dragByBody->watch(m_keyHelp);
}

void IpListWindow::setUpGrid()
{
    m_cellEditor->setFrame(false);
    m_grid->setColumnCount(kGridColumnCount);
    m_grid->setRowCount(kIpListSlotCount);
    m_grid->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < kGridColumnCount; ++column)
        m_grid->setColumnWidth(column, twipsX(kColumnWidthTwips[column]));
    for (int row = 0; row < kIpListSlotCount; ++row) {
        m_grid->setCellText(row, kMarkerColumn, QString());
        m_grid->item(row, kMarkerColumn)->setTextAlignment(Qt::AlignCenter);
    }
    alignCaptionWithColumns();
}

// The word "Description" stands where the Description column's texts start.
void IpListWindow::alignCaptionWithColumns()
{
    const int cellTextMargin =
        m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 1;
    const int descriptionX = m_grid->x() + m_grid->frameWidth() +
                             m_grid->columnViewportPosition(kDescriptionColumn) + cellTextMargin;
    m_columnCaption->setSecondColumnX(descriptionX - m_columnCaption->x());
}

bool IpListWindow::confirmClosing()
{
    // The sheet counts the edit box's text for its cell: closing right after
    // typing must not lose what was typed.
    if (m_sheet.save(m_store))
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

bool IpListWindow::handleKey(const QKeyEvent *key)
{
    switch (
        keyActionFor(virtualKeyCode(key->key(), key->modifiers()), shiftState(key->modifiers()))) {
    case IpListKeyAction::Close:
        close();
        return true;
    case IpListKeyAction::Refresh:
        refreshMarks();
        return true;
    case IpListKeyAction::FeatureNotAvailable:
        showFeatureNotAvailable();
        return true;
    case IpListKeyAction::None:
        break;
    }
    return false;
}

void IpListWindow::showFeatureNotAvailable()
{
    QMessageBox box(QMessageBox::NoIcon, u"Corvane"_s, u"Feature not available yet."_s,
                    QMessageBox::Ok, this);
    box.exec();
}

void IpListWindow::showCells()
{
    for (int row = 0; row < kIpListSlotCount; ++row)
        for (int column = 0; column < kGridColumnCount; ++column)
            m_grid->setCellText(row, column, m_sheet.cellText({row, column}));
}

// The grid follows the sheet's current cell without reporting the move back.
void IpListWindow::showCurrentCell()
{
    const QSignalBlocker quiet(m_grid);
    m_grid->setCurrentCell(m_sheet.current().row, m_sheet.current().column);
}

void IpListWindow::showCellEditor()
{
    m_cellEditor->setVisible(true);
    if (m_sheet.isRefreshing())
        return;
    m_cellEditor->setGeometry(
        m_grid->cellRect(m_sheet.current().row, m_sheet.current().column, this));
    m_cellEditor->raise();
    m_cellEditor->setFocus(Qt::OtherFocusReason);
}

void IpListWindow::onCellEditorFocused()
{
    m_sheet.focusEditor();
    showCells();
    showCellEditor();
}

void IpListWindow::onCellEditorLeft()
{
    if (!m_sheet.leaveEditor())
        return;
    showCells();
    showCurrentCell();
    m_cellEditor->setText(m_sheet.editorText());
    showCellEditor();
}

void IpListWindow::onCurrentCellChanged(int row, int column)
{
    if (row < 0 || column < 0)
        return;
    m_sheet.moveTo({row, column});
    if (m_sheet.isRefreshing())
        return;
    showCells();
    m_cellEditor->setText(m_sheet.editorText());
}

void IpListWindow::onGridMousePressed()
{
    m_sheet.pressMouse();
    showCells();
    showCellEditor();
}

void IpListWindow::onGridScrolled()
{
    m_cellEditor->hide();
}

// All rows are probed at once. The current cell does not move, so the edit box
// stays over the cell it stands for and keeps what was typed into it; over a
// marker cell it takes the new mark.
void IpListWindow::refreshMarks()
{
    if (m_sheet.isRefreshing())
        return;
    const WaitCursor hourglass;
    const std::optional<QString> message = m_sheet.refreshMarks();
    showCells();
    if (m_sheet.current().column == kMarkerColumn)
        m_cellEditor->setText(m_sheet.editorText());
    if (message)
        showFailureMessage(this, *message);
}

void IpListWindow::done(int result)
{
    if (m_open && !confirmClosing())
        return;
    m_open = false;
    QDialog::done(result);
}

bool IpListWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_cellEditor)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (handleKey(key))
            return true;
        // Scrolled away, the edit box is hidden but keeps the focus: what is
        // typed would reach its cell unseen. Such a key does nothing, as on the
        // grid, until a click lays the edit box over a cell again.
        if (m_cellEditor->isHidden())
            return true;
        // The edit box is the only stop: Tab leaves the focus where it is.
        return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    }
    case QEvent::InputMethod:
        if (m_cellEditor->isHidden())
            return true;
        break;
    case QEvent::FocusIn:
        if (isMoveInsideWindow(static_cast<QFocusEvent *>(event)->reason()))
            onCellEditorFocused();
        break;
    case QEvent::FocusOut:
        if (isMoveInsideWindow(static_cast<QFocusEvent *>(event)->reason()))
            onCellEditorLeft();
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void IpListWindow::keyPressEvent(QKeyEvent *event)
{
    // Keys the edit box leaves alone (Enter, Up, Down, ...) end here: none of
    // them moves the current cell or presses a default button.
    handleKey(event);
    event->accept();
}

void IpListWindow::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // A dialog being shown hands its first control a Tab focus, which selects
    // the edit box's whole text: one keystroke would then replace the cell's
    // text unseen.
    if (visible)
        m_cellEditor->deselect();
}

void IpListWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_open = true;
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
        showCellEditor();
    }
}
