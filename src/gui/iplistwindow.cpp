#include "iplistwindow.h"

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
QList<bool> probeOrTell(IpListProbe &probe, const QStringList &ipNumbers, QWidget *parent)
{
    EchoProber &prober = probe.prober();
    if (!prober.ensureAvailable()) {
        showFailureMessage(parent, echoUnavailableMessage(prober.unavailableReason()));
        return {};
    }
    return probe.probeAndWait(ipNumbers);
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
    , m_probe(prober)
{
    setUpControls();
    startUp();

    connect(m_grid, &IpListGrid::cellLeft, this, &IpListWindow::onCellLeft);
    connect(m_grid, &IpListGrid::cellEntered, this, &IpListWindow::onCellEntered);
    connect(m_grid, &IpListGrid::mousePressed, this, &IpListWindow::onGridMousePressed);
    connect(m_grid, &IpListGrid::scrolled, this, &IpListWindow::onGridScrolled);
    m_cellEditor->installEventFilter(this);
}

IpListWindow::~IpListWindow() = default;

int IpListWindow::twipsX(int twips) const
{
    return qRound(twips * logicalDpiX() / double(TwipsPerInch));
}

int IpListWindow::twipsY(int twips) const
{
    return qRound(twips * logicalDpiY() / double(TwipsPerInch));
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

void IpListWindow::startUp()
{
    const WaitCursor hourglass;
    m_cellEditor->setFrame(false);

    m_grid->setColumnCount(GridColumnCount);
    m_grid->clearContents();
    m_grid->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < GridColumnCount; ++column)
        m_grid->setColumnWidth(column, twipsX(ColumnWidthTwips[column]));
    alignCaptionWithColumns();

    m_cellEditor->setText(readFirstIpNumber(m_store));

    // Every cell is filled on its own, never split from one tab-joined row
    // text, so a tab inside a stored text stays in its cell, is shown as blank
    // space and is written back unchanged.
    const QList<IpListEntry> stored = loadIpList(m_store);
    m_grid->setRowCount(0);
    m_grid->setRowCount(int(stored.size()));
    for (int row = 0; row < stored.size(); ++row) {
        m_grid->setCellText(row, IPNumberColumn, stored.at(row).ipNumber);
        m_grid->setCellText(row, DescriptionColumn, stored.at(row).description);
        m_grid->setCellText(row, MarkerColumn, QString());
        m_grid->item(row, MarkerColumn)->setTextAlignment(Qt::AlignCenter);
    }
    setMarks(probeOrTell(m_probe, ipNumbers(), this));
    m_grid->setCurrentCell(0, IPNumberColumn);
}

// The word "Description" stands where the Description column's texts start.
void IpListWindow::alignCaptionWithColumns()
{
    const int cellTextMargin =
        m_grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grid) + 1;
    const int descriptionX = m_grid->x() + m_grid->frameWidth() +
                             m_grid->columnViewportPosition(DescriptionColumn) + cellTextMargin;
    m_columnCaption->setSecondColumnX(descriptionX - m_columnCaption->x());
}

bool IpListWindow::shutDown()
{
    // entries() counts the edit box's text for its cell: closing right after
    // typing must not lose what was typed.
    if (saveIpList(m_store, entries()))
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

bool IpListWindow::handleKeyDown(int KeyCode, int Shift)
{
    switch (keyActionFor(KeyCode, Shift)) {
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

void IpListWindow::showCellEditor()
{
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    m_cellEditor->setVisible(true);
    if (Refreshing || row < 0 || column < 0)
        return;
    m_cellEditor->setGeometry(m_grid->cellRect(row, column, this));
    m_cellEditor->raise();
    m_cellEditor->setFocus(Qt::OtherFocusReason);
}

void IpListWindow::onCellEditorFocused()
{
    writeEditorInto(m_grid->currentRow(), m_grid->currentColumn());
    showCellEditor();
}

void IpListWindow::onCellEditorLeft()
{
    if (Refreshing)
        return;
    if (m_skipFocusAdvance) {
        m_skipFocusAdvance = false;
        return;
    }
    const std::optional<GridCell> next =
        nextCellAfter({m_grid->currentRow(), m_grid->currentColumn()}, m_grid->rowCount());
    if (!next)
        return;
    m_grid->setCurrentCell(next->row, next->column);
    showCellEditor();
}

void IpListWindow::onCellEntered(int row, int column)
{
    if (Refreshing)
        return;
    if (column == MarkerColumn)
        m_enteredMarker = m_grid->cellText(row, column);
    m_cellEditor->setText(m_grid->cellText(row, column));
}

void IpListWindow::onCellLeft(int row, int column)
{
    if (Refreshing)
        return;
    writeEditorInto(row, column);
    m_cellEditor->clear();
    if (column == MarkerColumn)
        m_grid->setCellText(row, column, m_enteredMarker);
}

void IpListWindow::onGridMousePressed(Qt::MouseButton button)
{
    Q_UNUSED(button) // any button
    m_skipFocusAdvance = true;
    writeEditorInto(m_grid->currentRow(), m_grid->currentColumn());
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
    if (Refreshing)
        return;
    const WaitCursor hourglass;
    Refreshing = true;
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    // The probe takes the IP Number the user sees, typed or not.
    writeEditorInto(row, column);
    setMarks(probeOrTell(m_probe, ipNumbers(), this));
    if (column == MarkerColumn) {
        m_enteredMarker = m_grid->cellText(row, column);
        m_cellEditor->setText(m_enteredMarker);
    }
    Refreshing = false;
}

void IpListWindow::writeEditorInto(int row, int column)
{
    if (row < 0 || column < 0)
        return;
    m_grid->setCellText(row, column, m_cellEditor->text());
}

void IpListWindow::setMarks(const QList<bool> &answered)
{
    for (int row = 0; row < m_grid->rowCount(); ++row)
        m_grid->setCellText(row, MarkerColumn,
                            row < answered.size() && answered.at(row) ? Marker : QString());
}

QStringList IpListWindow::ipNumbers() const
{
    QStringList texts;
    for (int row = 0; row < m_grid->rowCount(); ++row)
        texts.append(m_grid->cellText(row, IPNumberColumn));
    return texts;
}

QList<IpListEntry> IpListWindow::entries() const
{
    const int currentRow = m_grid->currentRow();
    const int currentColumn = m_grid->currentColumn();
    QList<IpListEntry> rows;
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        IpListEntry entry{m_grid->cellText(row, IPNumberColumn),
                          m_grid->cellText(row, DescriptionColumn)};
        if (row == currentRow && currentColumn == IPNumberColumn)
            entry.ipNumber = m_cellEditor->text();
        else if (row == currentRow && currentColumn == DescriptionColumn)
            entry.description = m_cellEditor->text();
        rows.append(entry);
    }
    return rows;
}

void IpListWindow::done(int result)
{
    if (m_open && !shutDown())
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
        if (handleKeyDown(virtualKeyCode(key->key(), key->modifiers()),
                          shiftState(key->modifiers())))
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
    handleKeyDown(virtualKeyCode(event->key(), event->modifiers()), shiftState(event->modifiers()));
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
