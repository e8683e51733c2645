#include "iplistcaptionlabel.h"
#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplisttestsupport.h"
#include "iplistwindow.h"
#include "messageboxanswerer.h"
#include "recordingsettingsstore.h"
#include "widgetlookup.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWindow>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Three rows that answer on loopback, and texts that are no address.
const QList<IpListEntry> SampleRows = {
    {u"127.0.0.1"_s, u"this machine"_s}, {u"not an address"_s, u"name only"_s},
    {u"127.0.0.2"_s, QString()},         {u" 127.0.0.3"_s, u"leading blank"_s},
    {u"127.0.0.4"_s, u"four"_s},         {u"127.0.0.300"_s, u"octet too big"_s},
};

enum class Outcome { Refresh, Message, Close, Nothing };

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestIpListWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_form.reset(); }

    void layout();
    void descriptionWordOverItsColumn();
    void openingMarks_data();
    void openingMarks();
    void hourglassWhileProbing();
    void typingThenClickingAnotherCell();
    void typingOverMarkerCell_data();
    void typingOverMarkerCell();
    void keysStayInEditBox_data();
    void keysStayInEditBox();
    void windowKeys_data();
    void windowKeys();
    void refreshKeepsTextsAndEditBox();
    void refreshOverMarkerCell();
    void closeBoxSavesAsEscDoes();
    void savedOnceWithTypedText();
    void reopeningShowsStoredList();
    void saveFailureKeepsListOpen();
    void storedTextsPassThroughEditBox_data();
    void storedTextsPassThroughEditBox();
    void scrollHidesEditBox();
    void focusLossMovesOn_data();
    void focusLossMovesOn();
    void doubleClickCentres_data();
    void doubleClickCentres();

private:
    IpListWindow *open(SettingsStore *store = nullptr);
    void clickCell(int row, int column, Qt::MouseButton button = Qt::LeftButton);
    void type(const QString &text);
    QString cell(int row, int column) const
    {
        return child<IpListGrid>(m_form, "grid")->cellText(row, column);
    }
    GridCell current() const;
    bool editBoxOver(int row, int column) const;

    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<IpListWindow> m_form;
};

void TestIpListWindow::initTestCase()
{
    m_prober = createSystemEchoProber();
    if (!m_prober->isAvailable())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + m_prober->unavailableReason()));
}

void TestIpListWindow::init()
{
    m_form.reset();
    QDir(corvaneConfigFolder()).removeRecursively();
    putOnDisk(rowKeys(SampleRows));
    m_store = createSystemSettingsStore();
}

IpListWindow *TestIpListWindow::open(SettingsStore *store)
{
    m_form = std::make_unique<IpListWindow>(store ? *store : *m_store, *m_prober);
    m_form->show();
    m_form->activateWindow();
    if (!QTest::qWaitForWindowActive(m_form.get()))
        qWarning("the list window did not become active");
    return m_form.get();
}

void TestIpListWindow::clickCell(int row, int column, Qt::MouseButton button)
{
    IpListGrid *grid = child<IpListGrid>(m_form, "grid");
    grid->scrollToItem(grid->item(row, column)); // only a cell in view can be clicked
    QTest::mouseClick(grid->viewport(), button, {},
                      grid->visualItemRect(grid->item(row, column)).center());
}

// Replaces the edit box's text by typing.
void TestIpListWindow::type(const QString &text)
{
    child<QLineEdit>(m_form, "cellEditor")->selectAll();
    QTest::keyClicks(child<QLineEdit>(m_form, "cellEditor"), text);
}

GridCell TestIpListWindow::current() const
{
    return {child<IpListGrid>(m_form, "grid")->currentRow(),
            child<IpListGrid>(m_form, "grid")->currentColumn()};
}

bool TestIpListWindow::editBoxOver(int row, int column) const
{
    return child<QLineEdit>(m_form, "cellEditor")->isVisible() &&
           current() == GridCell{row, column} &&
           child<QLineEdit>(m_form, "cellEditor")->geometry() ==
               child<IpListGrid>(m_form, "grid")->cellRect(row, column, m_form.get());
}

void TestIpListWindow::layout()
{
    QDir(corvaneConfigFolder()).removeRecursively();
    m_store = createSystemSettingsStore();
    IpListWindow *form = open();
    const auto px = [form](int twips) { return qRound(twips * form->logicalDpiX() / 1440.0); };
    const auto py = [form](int twips) { return qRound(twips * form->logicalDpiY() / 1440.0); };
    QCOMPARE(form->windowTitle(), u"Corvane - IP Number List"_s);
    QCOMPARE(form->size(), QSize(px(5760), py(3525)));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
             Qt::WindowCloseButtonHint);
    QCOMPARE(form->windowModality(), Qt::ApplicationModal);

    QCOMPARE(child<IpListCaptionLabel>(form, "columnCaption")->text(),
             u"IP Number"_s + QString(24, u' ') + u"Description"_s);
    QCOMPARE(
        child<IpListCaptionLabel>(form, "columnCaption")->palette().color(QPalette::WindowText),
        QColor(0, 0, 192));
    QCOMPARE(child<IpListCaptionLabel>(form, "columnCaption")->geometry(),
             QRect(px(120), py(0), px(5415), py(255)));
    QCOMPARE(child<QLabel>(form, "keyHelp")->text(),
             u"Press F5 to refresh, F6 to load file, ESC to close this window"_s);
    QCOMPARE(child<QLabel>(form, "keyHelp")->pos(), QPoint(px(120), py(3120)));
    // As wide as laid out, or wider where the font needs it: never cut.
    QVERIFY(child<QLabel>(form, "keyHelp")->width() >=
            qMax(px(4695), child<QLabel>(form, "keyHelp")->sizeHint().width()));
    QVERIFY(child<QLabel>(form, "keyHelp")->geometry().right() < form->width());

    IpListGrid *grid = child<IpListGrid>(form, "grid");
    QCOMPARE(grid->geometry(), QRect(px(120), py(240), px(5535), py(2775)));
    QCOMPARE(grid->rowCount(), 100);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(QList<int>({grid->columnWidth(0), grid->columnWidth(1), grid->columnWidth(2)}),
             QList<int>({px(1800), px(3100), px(200)}));
    QVERIFY(grid->horizontalHeader()->isHidden() && grid->verticalHeader()->isHidden());
    QVERIFY(grid->columnViewportPosition(2) + grid->columnWidth(2) <= grid->viewport()->width());
    for (int row = 0; row < 100; ++row)
        for (int column = 0; column < 3; ++column)
            QVERIFY(cell(row, column).isEmpty());

    // An empty store: the empty edit box over row 0, column 0, with the focus,
    // the only control that takes it.
    QVERIFY(!child<QLineEdit>(form, "cellEditor")->hasFrame());
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), QString());
    QVERIFY(editBoxOver(0, 0));
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(form, "cellEditor"));
    const QList<QWidget *> children = form->findChildren<QWidget *>();
    QWidget *editor = child<QLineEdit>(form, "cellEditor");
    for (QWidget *widget : children)
        QVERIFY2(widget == editor || !(widget->focusPolicy() & Qt::TabFocus),
                 widget->metaObject()->className());
}

void TestIpListWindow::descriptionWordOverItsColumn()
{
    putOnDisk({{u"Desc_1"_s, u"Description"_s}});
    IpListWindow *form = open();
    // Where word number @p word starts in a picture: words are runs of columns
    // with ink, apart by more than a blank.
    const auto wordStart = [](const QImage &picture, int word) {
        for (int x = 0, gap = picture.width(); x < picture.width(); ++x) {
            bool ink = false;
            for (int y = 0; y < picture.height() && !ink; ++y)
                ink = qGray(picture.pixel(x, y)) < 128;
            if (ink && gap > 10 && word-- == 0)
                return x;
            gap = ink ? 0 : gap + 1;
        }
        return -1;
    };
    const QRect cellRect = child<IpListGrid>(form, "grid")->cellRect(1, DescriptionColumn, form);
    const int wordX =
        child<IpListCaptionLabel>(form, "columnCaption")->x() +
        wordStart(child<IpListCaptionLabel>(form, "columnCaption")->grab().toImage(), 1);
    const int columnX = cellRect.x() + wordStart(form->grab(cellRect).toImage(), 0);
    QVERIFY2(wordX > child<IpListCaptionLabel>(form, "columnCaption")->x() &&
                 qAbs(wordX - columnX) <= 2,
             qPrintable(u"caption word at %1, column text at %2"_s.arg(wordX).arg(columnX)));
}

void TestIpListWindow::openingMarks_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("mark");
    QTest::newRow("loopback address answers") << u"127.0.0.77"_s << u"X"_s;
    QTest::newRow("short form answers") << u"127.1"_s << u"X"_s;
    QTest::newRow("leading zeros answer") << u"127.000.000.010"_s << u"X"_s;
    QTest::newRow("a name gets no mark") << u"localhost"_s << QString();
    QTest::newRow("leading blank gets no mark") << u" 127.0.0.1"_s << QString();
}

void TestIpListWindow::openingMarks()
{
    QFETCH(QString, ipNumber);
    putOnDisk({{u"IP_0"_s, ipNumber}, {u"IP_50"_s, ipNumber}, {u"IP_99"_s, ipNumber}});
    m_form = std::make_unique<IpListWindow>(*m_store, *m_prober);
    for (int row : {0, 50, 99})
        QTEST(cell(row, MarkerColumn), "mark");
    QCOMPARE(cell(50, IPNumberColumn), ipNumber);
    QCOMPARE(cell(98, MarkerColumn), QString());
}

void TestIpListWindow::hourglassWhileProbing()
{
    QList<Qt::CursorShape> during;
    connect(m_prober.get(), &EchoProber::finished, this, [&] {
        during.append(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                     : Qt::ArrowCursor);
    });
    IpListWindow *form = open();
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_F5);
    disconnect(m_prober.get(), nullptr, this, nullptr);
    // Three loopback rows answer on opening and again on F5.
    QCOMPARE(during, QList<Qt::CursorShape>(6, Qt::WaitCursor));
    QVERIFY(!QApplication::overrideCursor());
}

void TestIpListWindow::typingThenClickingAnotherCell()
{
    IpListWindow *form = open();
    clickCell(1, DescriptionColumn);
    QVERIFY(editBoxOver(1, DescriptionColumn));
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"name only"_s);
    type(u"router upstairs"_s);
    QCOMPARE(cell(1, DescriptionColumn), u"name only"_s); // typing reaches the edit box only

    clickCell(4, IPNumberColumn);
    QCOMPARE(cell(1, DescriptionColumn), u"router upstairs"_s);
    QVERIFY(editBoxOver(4, IPNumberColumn));
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"127.0.0.4"_s);
    QVERIFY(child<QLineEdit>(form, "cellEditor")->hasFocus());
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
    QCOMPARE(listOnDisk().value(u"Desc_1"_s), u"router upstairs"_s);
}

void TestIpListWindow::typingOverMarkerCell_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("marked, left click away") << 0 << u"X"_s << Qt::LeftButton;
    QTest::newRow("unmarked, left click away") << 1 << QString() << Qt::LeftButton;
    QTest::newRow("marked, right click away") << 2 << u"X"_s << Qt::RightButton;
}

void TestIpListWindow::typingOverMarkerCell()
{
    QFETCH(int, row);
    QFETCH(QString, mark);
    QFETCH(Qt::MouseButton, button);
    IpListWindow *form = open();
    clickCell(row, MarkerColumn);
    QCOMPARE(form->enteredMarker(), mark);
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), mark);
    QTest::keyClicks(child<QLineEdit>(form, "cellEditor"), u"zz"_s);
    clickCell(4, DescriptionColumn, button);
    QCOMPARE(cell(row, MarkerColumn), mark);
    QVERIFY(editBoxOver(4, DescriptionColumn));
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
    QCOMPARE(listOnDisk(), rowKeys(SampleRows));
}

void TestIpListWindow::keysStayInEditBox_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const Qt::KeyboardModifiers none;
    QTest::newRow("Tab") << Qt::Key_Tab << none;
    QTest::newRow("Shift+Tab") << Qt::Key_Backtab << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Enter") << Qt::Key_Return << none;
    QTest::newRow("keypad Enter") << Qt::Key_Enter << Qt::KeyboardModifiers(Qt::KeypadModifier);
    QTest::newRow("Up") << Qt::Key_Up << none;
    QTest::newRow("Down") << Qt::Key_Down << none;
    QTest::newRow("Left") << Qt::Key_Left << none;
    QTest::newRow("Right") << Qt::Key_Right << none;
    QTest::newRow("Page Down") << Qt::Key_PageDown << none;
}

void TestIpListWindow::keysStayInEditBox()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    IpListWindow *form = open();
    clickCell(2, DescriptionColumn);
    QTest::keyClicks(child<QLineEdit>(form, "cellEditor"), u"ab"_s);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(child<QLineEdit>(form, "cellEditor"), key, modifiers);
    QVERIFY(form->isVisible());
    QVERIFY(editBoxOver(2, DescriptionColumn));
    QVERIFY(child<QLineEdit>(form, "cellEditor")->hasFocus());
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"ab"_s);
    QCOMPARE(cell(2, DescriptionColumn), QString());
}

void TestIpListWindow::windowKeys_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<Outcome>("outcome");
    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers alt = Qt::AltModifier;
    QTest::newRow("F5 refreshes") << Qt::Key_F5 << none << Outcome::Refresh;
    QTest::newRow("Shift+F4 refreshes") << Qt::Key_F4 << shift << Outcome::Refresh;
    QTest::newRow("Ctrl+F3 refreshes") << Qt::Key_F3 << ctrl << Outcome::Refresh;
    QTest::newRow("Alt+F1 refreshes") << Qt::Key_F1 << alt << Outcome::Refresh;
    QTest::newRow("Shift+Alt+keypad slash refreshes")
        << Qt::Key_Slash << (shift | alt | Qt::KeypadModifier) << Outcome::Refresh;
    QTest::newRow("Meta does not count")
        << Qt::Key_F5 << Qt::KeyboardModifiers(Qt::MetaModifier) << Outcome::Refresh;
    QTest::newRow("F6 tells") << Qt::Key_F6 << none << Outcome::Message;
    QTest::newRow("Shift+F5 tells") << Qt::Key_F5 << shift << Outcome::Message;
    QTest::newRow("Ctrl+F4 tells") << Qt::Key_F4 << ctrl << Outcome::Message;
    QTest::newRow("Esc closes") << Qt::Key_Escape << none << Outcome::Close;
    QTest::newRow("Shift+Esc closes") << Qt::Key_Escape << shift << Outcome::Close;
    QTest::newRow("Ctrl+Alt+Esc closes") << Qt::Key_Escape << (ctrl | alt) << Outcome::Close;
    QTest::newRow("Ctrl+F5 does nothing") << Qt::Key_F5 << ctrl << Outcome::Nothing;
    QTest::newRow("F4 does nothing") << Qt::Key_F4 << none << Outcome::Nothing;
    QTest::newRow("slash does nothing") << Qt::Key_Slash << (shift | alt) << Outcome::Nothing;
}

void TestIpListWindow::windowKeys()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(Outcome, outcome);
    IpListWindow *form = open();
    // Row 0 turns into a name and row 1 into an address: only a refresh can tell.
    child<IpListGrid>(form, "grid")->setCellText(1, IPNumberColumn, u"127.0.0.1"_s);
    type(u"renamed"_s);

    MessageBoxAnswerer answerer(QMessageBox::Ok);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), key, modifiers);
    const bool refreshed = outcome == Outcome::Refresh;
    QCOMPARE(cell(0, MarkerColumn), refreshed ? QString() : u"X"_s);
    QCOMPARE(cell(1, MarkerColumn), refreshed ? u"X"_s : QString());
    QCOMPARE(form->isVisible(), outcome != Outcome::Close);
    QCOMPARE(answerer.answered, outcome == Outcome::Message);
    if (outcome == Outcome::Message) {
        QCOMPARE(answerer.text, u"Feature not available yet."_s);
        QCOMPARE(answerer.title, u"Corvane"_s);
        QCOMPARE(answerer.icon, QMessageBox::NoIcon);
        QCOMPARE(answerer.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(answerer.parent, form);
    }
    if (outcome == Outcome::Close)
        QCOMPARE(listOnDisk().value(u"IP_1"_s), u"127.0.0.1"_s);
    else
        QVERIFY(editBoxOver(0, IPNumberColumn));
}

// The current cell stays during a refresh: the edit box stays over the cell it
// stands for, with what was typed, and that text is what gets probed.
void TestIpListWindow::refreshKeepsTextsAndEditBox()
{
    IpListWindow *form = open();
    clickCell(3, DescriptionColumn);
    type(u"typed, not left yet"_s);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_F5);
    QVERIFY(editBoxOver(3, DescriptionColumn));
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"typed, not left yet"_s);
    QList<IpListEntry> expected = SampleRows;
    expected[3].description = u"typed, not left yet"_s;
    expected.resize(kIpListSlotCount);
    QCOMPARE(form->entries(), expected);
    for (int row = 0; row < 100; ++row)
        QCOMPARE(cell(row, MarkerColumn), row % 2 == 0 && row < 6 ? u"X"_s : QString());

    clickCell(5, IPNumberColumn);
    QCOMPARE(cell(3, DescriptionColumn), u"typed, not left yet"_s);
    QCOMPARE(cell(99, MarkerColumn), QString());

    clickCell(4, IPNumberColumn);
    type(u"gone"_s);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_F5);
    QCOMPARE(cell(4, MarkerColumn), QString());
    QCOMPARE(cell(4, IPNumberColumn), u"gone"_s);
}

void TestIpListWindow::refreshOverMarkerCell()
{
    IpListWindow *form = open();
    clickCell(2, MarkerColumn);
    QCOMPARE(form->enteredMarker(), u"X"_s);
    child<IpListGrid>(form, "grid")->setCellText(2, IPNumberColumn, u"none"_s);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_F5);
    QCOMPARE(cell(2, MarkerColumn), QString());
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), QString());
    // Leaving keeps the new mark, not the one the cell had when entered.
    clickCell(0, DescriptionColumn);
    QCOMPARE(cell(2, MarkerColumn), QString());
    QCOMPARE(cell(0, MarkerColumn), u"X"_s);
}

void TestIpListWindow::closeBoxSavesAsEscDoes()
{
    KeyValues stored[2];
    for (bool closeBox : {false, true}) {
        init();
        IpListWindow *form = open();
        clickCell(2, DescriptionColumn);
        type(u"two"_s);
        clickCell(6, IPNumberColumn);
        type(u"new row"_s);
        clickCell(6, DescriptionColumn);
        if (closeBox)
            form->windowHandle()->close();
        else
            QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        stored[closeBox] = listOnDisk();
    }
    QCOMPARE(stored[1], stored[0]);
    KeyValues expected = rowKeys(SampleRows);
    expected.insert({{u"Desc_2"_s, u"two"_s}, {u"IP_6"_s, u"new row"_s}, {u"Desc_6"_s, {}}});
    QCOMPARE(stored[0], expected);
}

// Closing right after typing keeps what was typed, and saves once.
void TestIpListWindow::savedOnceWithTypedText()
{
    RecordingSettingsStore recording(*m_store);
    IpListWindow *form = open(&recording);
    QCOMPARE(recording.reads.size(), 1 + 200);
    QCOMPARE(recording.reads.first(), u"IP_0"_s);
    clickCell(6, IPNumberColumn);
    QTest::keyClicks(child<QLineEdit>(form, "cellEditor"), u"127.0.0.6"_s);
    form->close();
    QCOMPARE(recording.writes.size(), 2 * 7);
    QCOMPARE(recording.writes.at(12), u"IP_6=127.0.0.6"_s);
    form->close();
    form->reject();
    QCOMPARE(recording.writes.size(), 2 * 7);
    QCOMPARE(recording.flushes, 1);
}

void TestIpListWindow::reopeningShowsStoredList()
{
    IpListWindow *form = open();
    clickCell(2, IPNumberColumn);
    type(u"renamed"_s);
    clickCell(3, IPNumberColumn);
    type(u"127.0.0.3"_s);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
    const QList<IpListEntry> edited = form->entries();

    m_store = createSystemSettingsStore();
    form = open();
    QCOMPARE(form->entries(), edited);
    QCOMPARE(cell(2, MarkerColumn), QString());
    QCOMPARE(cell(3, MarkerColumn), u"X"_s);
    QVERIFY(editBoxOver(0, IPNumberColumn));
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"127.0.0.1"_s);
}

void TestIpListWindow::saveFailureKeepsListOpen()
{
    IpListWindow *form = open();
    clickCell(1, DescriptionColumn);
    type(u"precious"_s);
    // A folder where the settings file was: nothing can be written, as root too.
    const QString file = corvaneConfigFolder() + u"/Corvane.conf"_s;
    QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    {
        MessageBoxAnswerer answerer(QMessageBox::Cancel);
        QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
        QVERIFY(answerer.answered);
        QCOMPARE(answerer.icon, QMessageBox::Warning);
        QVERIFY2(answerer.text.contains(file), qPrintable(answerer.text));
    }
    QVERIFY(form->isVisible());
    QVERIFY(editBoxOver(1, DescriptionColumn));
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"precious"_s);

    QVERIFY(QDir(file).removeRecursively());
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
    QVERIFY(!form->isVisible());
    QCOMPARE(listOnDisk().value(u"Desc_1"_s), u"precious"_s);

    // Discarding closes without the file.
    init();
    form = open();
    QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    MessageBoxAnswerer discard(QMessageBox::Discard);
    form->close();
    QVERIFY(discard.answered);
    QVERIFY(!form->isVisible());
}

void TestIpListWindow::storedTextsPassThroughEditBox_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("description");
    QTest::newRow("tab inside") << u"127.0.0.1\t# home"_s << u"left\tright"_s;
    QTest::newRow("blanks around") << u"  127.0.0.1 "_s << u" spaced "_s;
    QTest::newRow("long text") << QString(40000, u'9') << QString(50000, u'd');
    QTest::newRow("unicode") << u"１２７.0.0.1"_s << u"Zürich → 東京 🙂"_s;
    QTest::newRow("line break") << u"127.0.0.1"_s << u"first\nsecond"_s;
}

void TestIpListWindow::storedTextsPassThroughEditBox()
{
    QFETCH(QString, ipNumber);
    QFETCH(QString, description);
    putOnDisk({{u"IP_0"_s, ipNumber}, {u"Desc_0"_s, description}});
    IpListWindow *form = open();
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), ipNumber);
    // Each cell of row 0 becomes current once, its text going through the edit box.
    for (const GridCell &at :
         {GridCell{0, 1}, GridCell{0, 2}, GridCell{1, 0}, GridCell{0, 0}, GridCell{1, 1}})
        clickCell(at.row, at.column);
    QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_Escape);
    const KeyValues stored = listOnDisk();
    QCOMPARE(stored.value(u"IP_0"_s), ipNumber);
    QCOMPARE(stored.value(u"Desc_0"_s), description);
}

// What is typed is seen: once the wheel scrolls the edit box away, typing does
// nothing until a click lays it over a cell again; the window's keys still work.
void TestIpListWindow::scrollHidesEditBox()
{
    IpListWindow *form = open();
    QWindow *window = form->windowHandle();
    for (char key : {'a', 'b', 'c'})
        QTest::keyClick(window, key);
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"127.0.0.1abc"_s);

    QWidget *viewport = child<IpListGrid>(form, "grid")->viewport();
    const QPointF at = viewport->rect().center();
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    QVERIFY(child<IpListGrid>(form, "grid")->verticalScrollBar()->value() > 0);
    QVERIFY(!child<QLineEdit>(form, "cellEditor")->isVisible());
    QCOMPARE(current(), (GridCell{0, IPNumberColumn}));

    for (char key : {'z', 'z', 'z'})
        QTest::keyClick(window, key);
    QTest::keyClick(window, Qt::Key_Backspace);
    QInputMethodEvent composed;
    composed.setCommitString(u"zz"_s);
    QApplication::sendEvent(QGuiApplication::focusObject(), &composed);
    QCOMPARE(child<QLineEdit>(form, "cellEditor")->text(), u"127.0.0.1abc"_s);
    QTest::keyClick(window, Qt::Key_F5); // the window's keys still work
    QCOMPARE(cell(0, MarkerColumn), QString());

    clickCell(97, IPNumberColumn);
    QVERIFY(editBoxOver(97, IPNumberColumn));
    QVERIFY(child<QLineEdit>(form, "cellEditor")->hasFocus());
    QTest::keyClick(window, Qt::Key_Escape);
    KeyValues expected = rowKeys(SampleRows);
    expected.insert(u"IP_0"_s, u"127.0.0.1abc"_s);
    QCOMPARE(listOnDisk(), expected);
}

void TestIpListWindow::focusLossMovesOn_data()
{
    QTest::addColumn<GridCell>("clicked");
    QTest::addColumn<GridCell>("next");
    QTest::newRow("IP Number to description") << GridCell{3, 0} << GridCell{3, 1};
    QTest::newRow("marker to the next row") << GridCell{3, 2} << GridCell{4, 0};
    QTest::newRow("last cell stays") << GridCell{99, 2} << GridCell{99, 2};
}

void TestIpListWindow::focusLossMovesOn()
{
    QFETCH(GridCell, clicked);
    QFETCH(GridCell, next);
    IpListWindow *form = open();
    clickCell(clicked.row, clicked.column);
    QVERIFY(form->skipFocusAdvance());
    // The first focus loss after a press on the grid belongs to that press.
    child<QLineEdit>(form, "cellEditor")->clearFocus();
    QVERIFY(!form->skipFocusAdvance());
    QCOMPARE(current(), clicked);

    child<QLineEdit>(form, "cellEditor")->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(child<QLineEdit>(form, "cellEditor"), u"+"_s);
    const QString typed = child<QLineEdit>(form, "cellEditor")->text();
    child<QLineEdit>(form, "cellEditor")->clearFocus();
    QCOMPARE(current(), next);
    if (next == clicked)
        return;
    QVERIFY(editBoxOver(next.row, next.column));
    QVERIFY(child<QLineEdit>(form, "cellEditor")->hasFocus());
    if (clicked.column != MarkerColumn)
        QCOMPARE(cell(clicked.row, clicked.column), typed);
}

void TestIpListWindow::doubleClickCentres_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("centres");
    QTest::newRow("window surface") << u"IpListWindow"_s << true;
    QTest::newRow("column caption") << u"columnCaption"_s << true;
    QTest::newRow("key help") << u"keyHelp"_s << true;
    QTest::newRow("grid") << u"qt_scrollarea_viewport"_s << false;
    QTest::newRow("edit box") << u"cellEditor"_s << false;
}

void TestIpListWindow::doubleClickCentres()
{
    QFETCH(QString, where);
    QFETCH(bool, centres);
    IpListWindow *form = open();
    const QRect screen = form->screen()->geometry();
    const QSize outer = form->frameGeometry().size();
    const QPoint centred(screen.left() + (screen.width() - outer.width()) / 2,
                         screen.top() + int((screen.height() - outer.height()) * 0.9 / 2));
    QCOMPARE(form->frameGeometry().topLeft(), centred); // where opening put it

    const QPoint away = centred + QPoint(-40, 30);
    form->move(away);
    QWidget *target = where == u"IpListWindow" ? form : form->findChild<QWidget *>(where);
    QVERIFY(target);
    // Beside every control on the window's surface, on nothing else on the others.
    const QPoint at = target == form ? QPoint(2, form->height() - 2)
                                     : QPoint(target->width() - 3, target->height() / 2);
    QVERIFY(!target->childAt(at));
    QTest::mouseDClick(target, Qt::LeftButton, {}, at);
    QCOMPARE(form->frameGeometry(), QRect(centres ? centred : away, outer));
}

QTEST_MAIN(TestIpListWindow)
#include "tst_iplistwindow.moc"
