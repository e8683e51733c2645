#include "dialoganswerer.h"
#include "iplistfiles.h"
#include "iplistgrid.h"
#include "iplistwindow.h"
#include "widgetlookup.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Loopback rows answer; a name, a leading blank and a long text do not.
const QList<IpListEntry> kSampleRows = {
    {u"127.0.0.1"_s, u"this machine"_s}, {u"not an address"_s, u"name\tonly"_s},
    {u"127.000.000.010"_s, QString()},   {u" 127.0.0.3"_s, u"leading blank"_s},
    {u"127.1"_s, QString(40000, u'd')},
};

} // namespace

class TestIpListWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_form.reset(); }
    void editingWithMouseAndKeys();
    void keys_data();
    void keys();
    void saveFailureKeepsListOpen();
    void scrollHidesEditBox();

private:
    void open();
    void clickCell(int row, int column, Qt::MouseButton button = Qt::LeftButton);
    QString cell(int row, int column) const { return grid()->cellText(row, column); }
    IpListGrid *grid() const { return child<IpListGrid>(m_form, "grid"); }
    QLineEdit *editor() const { return child<QLineEdit>(m_form, "cellEditor"); }
    bool editBoxOver(int row, int column) const
    {
        return editor()->isVisible() && grid()->currentRow() == row &&
               grid()->currentColumn() == column &&
               editor()->geometry() == grid()->cellRect(row, column, m_form.get());
    }

    QTemporaryDir m_config;
    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<IpListWindow> m_form;
};

void TestIpListWindow::initTestCase()
{
    QVERIFY(usePrivateConfig(m_config));
    m_prober = createSystemEchoProber();
    if (!m_prober->isAvailable())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + m_prober->unavailableReason()));
}

void TestIpListWindow::init()
{
    putOnDisk(keysOf(kSampleRows));
    m_store = createSystemSettingsStore();
}

void TestIpListWindow::open()
{
    m_form = std::make_unique<IpListWindow>(*m_store, *m_prober);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestIpListWindow::clickCell(int row, int column, Qt::MouseButton button)
{
    grid()->scrollToItem(grid()->item(row, column)); // only a cell in view can be clicked
    QTest::mouseClick(grid()->viewport(), button, {},
                      grid()->visualItemRect(grid()->item(row, column)).center());
}

void TestIpListWindow::editingWithMouseAndKeys()
{
    QList<Qt::CursorShape> cursors;
    connect(m_prober.get(), &EchoProber::finished, this, [&] {
        cursors.append(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                      : Qt::ArrowCursor);
    });
    open();
    disconnect(m_prober.get(), nullptr, this, nullptr);
    QCOMPARE(cursors, QList<Qt::CursorShape>(3, Qt::WaitCursor)); // three rows answer
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(grid()->rowCount(), kIpListSlotCount);
    QStringList marks;
    for (int row = 0; row < 6; ++row)
        marks << cell(row, kMarkerColumn);
    QCOMPARE(marks, (QStringList{u"X"_s, {}, u"X"_s, {}, u"X"_s, {}}));
    QVERIFY(editBoxOver(0, kIpNumberColumn) && editor()->hasFocus());
    QCOMPARE(editor()->text(), u"127.0.0.1"_s);

    // Every stored text passes through the edit box unchanged, however long.
    clickCell(4, kDescriptionColumn);
    clickCell(1, kDescriptionColumn);
    QCOMPARE(editor()->text(), u"name\tonly"_s);
    QTest::keyClicks(editor(), u" upstairs"_s);
    clickCell(0, kMarkerColumn, Qt::RightButton);
    QCOMPARE(cell(1, kDescriptionColumn), u"name\tonly upstairs"_s);
    QVERIFY(editBoxOver(0, kMarkerColumn));
    QTest::keyClicks(editor(), u"zz"_s);
    clickCell(5, kIpNumberColumn);
    QCOMPARE(cell(0, kMarkerColumn), u"X"_s);

    // A focus loss that no mouse press caused moves on to the next cell.
    QTest::keyClicks(editor(), u"10.0.0.5"_s);
    editor()->clearFocus(); // the one after the click
    editor()->setFocus(Qt::OtherFocusReason);
    editor()->clearFocus();
    QVERIFY(editBoxOver(5, kDescriptionColumn) && editor()->hasFocus());
    QTest::keyClick(editor(), Qt::Key_Escape);
    QVERIFY(!m_form->isVisible());
    KeyValues expected = keysOf(kSampleRows);
    expected.insert({{u"Desc_1"_s, u"name\tonly upstairs"_s}, {u"IP_5"_s, u"10.0.0.5"_s}});
    expected.insert(u"Desc_5"_s, QString());
    QCOMPARE(listOnDisk(), expected);
}

void TestIpListWindow::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char *name, int key, Qt::KeyboardModifiers held, const char *to) {
        QTest::newRow(name) << key << held << QString::fromLatin1(to);
    };
    const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier),
        alt(Qt::AltModifier), pad(Qt::KeypadModifier);
    row("F5 refreshes", Qt::Key_F5, none, "refresh");
    row("Shift+F4 refreshes", Qt::Key_F4, shift, "refresh");
    row("Ctrl+F3 refreshes", Qt::Key_F3, ctrl, "refresh");
    row("Alt+F1 refreshes", Qt::Key_F1, alt, "refresh");
    row("Meta does not count", Qt::Key_F5, Qt::MetaModifier, "refresh");
    row("Shift+Alt+keypad slash refreshes", Qt::Key_Slash, shift | alt | pad, "refresh");
    row("Ctrl+Alt+keypad comma refreshes", Qt::Key_Comma, ctrl | alt | pad, "refresh");
    row("Ctrl+Alt+Shift+keypad minus refreshes", Qt::Key_Minus, ctrl | alt | shift | pad,
        "refresh");
    row("F6 tells", Qt::Key_F6, none, "message");
    row("Shift+F5 tells", Qt::Key_F5, shift, "message");
    row("Ctrl+F4 tells", Qt::Key_F4, ctrl, "message");
    row("Ctrl+Alt+Shift+keypad period tells", Qt::Key_Period, ctrl | alt | shift | pad, "message");
    row("Ctrl+Alt+keypad slash tells", Qt::Key_Slash, ctrl | alt | pad, "message");
    row("Shift+Esc closes and stores", Qt::Key_Escape, shift, "close");
    row("Ctrl+Alt+Esc closes and stores", Qt::Key_Escape, ctrl | alt, "close");
    row("the close box closes and stores", Qt::Key_unknown, none, "close");
    row("Ctrl+F5 does nothing", Qt::Key_F5, ctrl, "nothing");
    row("F24 does nothing", Qt::Key_F24, none, "nothing");
    row("Tab stays in the edit box", Qt::Key_Tab, none, "nothing");
    row("Enter stays in the edit box", Qt::Key_Return, none, "nothing");
    row("Down stays in the edit box", Qt::Key_Down, none, "nothing");
}

// Row 0 is typed into a name and row 1 into an address: only a refresh can tell.
void TestIpListWindow::keys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, outcome);
    open();
    clickCell(1, kIpNumberColumn);
    editor()->selectAll();
    QTest::keyClicks(editor(), u"127.0.0.1"_s);
    clickCell(0, kIpNumberColumn);
    QTest::keyClicks(editor(), u"x"_s);

    DialogAnswerer answerer;
    if (key == Qt::Key_unknown)
        m_form->windowHandle()->close();
    else
        QTest::keyClick(editor(), Qt::Key(key), modifiers);
    const bool refreshed = outcome == u"refresh";
    QCOMPARE(cell(0, kMarkerColumn), refreshed ? QString() : u"X"_s);
    QCOMPARE(cell(1, kMarkerColumn), refreshed ? u"X"_s : QString());
    QCOMPARE(m_form->isVisible(), outcome != u"close");
    if (outcome == u"close") {
        QCOMPARE(listOnDisk().value(u"IP_0"_s), u"127.0.0.1x"_s);
        return;
    }
    QVERIFY(editBoxOver(0, kIpNumberColumn));
    QCOMPARE(editor()->text(), u"127.0.0.1x"_s);
    QCOMPARE(answerer.seen().size(), outcome == u"message" ? 1 : 0);
    if (outcome == u"message") {
        const SeenDialog &box = answerer.seen().first();
        QCOMPARE(box.text, u"Feature not available yet."_s);
        QCOMPARE(box.title, u"Corvane"_s);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, m_form.get());
    }
}

void TestIpListWindow::saveFailureKeepsListOpen()
{
    open();
    clickCell(2, kDescriptionColumn);
    QTest::keyClicks(editor(), u"precious"_s);
    // A folder where the settings file was: nothing can be written, as root too.
    const QString file = m_config.path() + u"/Corvane/Corvane.conf"_s;
    QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    {
        DialogAnswerer answerer({QMessageBox::Cancel});
        QTest::keyClick(editor(), Qt::Key_Escape);
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().first().icon, QMessageBox::Warning);
        QVERIFY2(answerer.seen().first().text.contains(file), qPrintable(answerer.texts().first()));
    }
    QVERIFY(m_form->isVisible());
    QVERIFY(editBoxOver(2, kDescriptionColumn));
    QCOMPARE(editor()->text(), u"precious"_s);

    QVERIFY(QDir(file).removeRecursively());
    QTest::keyClick(editor(), Qt::Key_Escape);
    QVERIFY(!m_form->isVisible());
    QCOMPARE(listOnDisk().value(u"Desc_2"_s), u"precious"_s);
}

// What is typed is seen: once the wheel scrolls the edit box away, typing does
// nothing until a click lays it over a cell again; the window's keys still work.
void TestIpListWindow::scrollHidesEditBox()
{
    open();
    QWindow *window = m_form->windowHandle();
    QTest::keyClick(window, 'a');
    QCOMPARE(editor()->text(), u"127.0.0.1a"_s);

    QWidget *viewport = grid()->viewport();
    const QPointF at = viewport->rect().center();
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    QVERIFY(grid()->verticalScrollBar()->value() > 0);
    QVERIFY(!editor()->isVisible());

    for (char key : {'z', 'z', 'z'})
        QTest::keyClick(window, key);
    QTest::keyClick(window, Qt::Key_Backspace);
    QInputMethodEvent composed;
    composed.setCommitString(u"zz"_s);
    QApplication::sendEvent(QGuiApplication::focusObject(), &composed);
    QCOMPARE(editor()->text(), u"127.0.0.1a"_s);
    QTest::keyClick(window, Qt::Key_F5); // the window's keys still work
    QCOMPARE(cell(0, kMarkerColumn), QString());

    clickCell(97, kIpNumberColumn);
    QVERIFY(editBoxOver(97, kIpNumberColumn));
    QTest::keyClick(window, Qt::Key_Escape);
    KeyValues expected = keysOf(kSampleRows);
    expected.insert(u"IP_0"_s, u"127.0.0.1a"_s);
    QCOMPARE(listOnDisk(), expected);
}

QTEST_MAIN(TestIpListWindow)
#include "tst_iplistwindow.moc"
