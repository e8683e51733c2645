#include "dialoganswerer.h"
#include "fakeechoprober.h"
#include "iplistgrid.h"
#include "iplistsettings.h"
#include "iplistsheet.h"
#include "iplistwindow.h"
#include "settingsstore.h"
#include "testfiles.h"
#include "widgetlookup.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// The list's keys in the settings file.
using KeyValues = QMap<QString, QString>;

KeyValues keysOf(const QList<IpListEntry> &rows)
{
    KeyValues keys;
    for (int slot = 0; slot < rows.size(); ++slot)
        keys.insert({{ipListIpKey(slot), rows.at(slot).ipNumber},
                     {ipListDescKey(slot), rows.at(slot).description}});
    return keys;
}

void putOnDisk(const KeyValues &keys)
{
    QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Corvane").removeRecursively();
    const auto store = createSystemSettingsStore();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        QVERIFY(store->writeSetting(u"Corvane"_s, u"Options"_s, it.key(), it.value()));
    QVERIFY(store->flush());
}

// Every list key in the file: a missing key is told from an empty one by two defaults.
KeyValues listOnDisk()
{
    const auto store = createSystemSettingsStore();
    KeyValues keys;
    for (int slot = 0; slot < kIpListSlotCount; ++slot)
        for (const QString &key : {ipListIpKey(slot), ipListDescKey(slot)})
            if (const QString v = store->readSetting(u"Corvane"_s, u"Options"_s, key, u"?"_s);
                v == store->readSetting(u"Corvane"_s, u"Options"_s, key, {}))
                keys.insert(key, v);
    return keys;
}

// "ip|description;..." as the list from row 0 on.
QList<IpListEntry> rows(const QString &text)
{
    QList<IpListEntry> entries;
    for (const QString &row : text.split(u';', Qt::SkipEmptyParts))
        entries.append({row.section(u'|', 0, 0), row.section(u'|', 1)});
    entries.resize(kIpListSlotCount);
    return entries;
}

// "IP_0=a;Desc_0=b;..." as settings keys.
KeyValues keysFrom(const QString &text)
{
    KeyValues keys;
    for (const QString &key : text.split(u';', Qt::SkipEmptyParts))
        keys.insert(key.section(u'=', 0, 0), key.section(u'=', 1));
    return keys;
}

// A real store that refuses to write "Desc_1", which a real file cannot do.
struct OneKeyFails : SettingsStore
{
    std::unique_ptr<SettingsStore> real = createSystemSettingsStore();
    QString readSetting(const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    bool writeSetting(const QString &a, const QString &s, const QString &k,
                      const QString &v) override
    {
        return k != u"Desc_1" && real->writeSetting(a, s, k, v);
    }
    bool flush() override { return real->flush(); }
    QString lastError() const override { return {}; }
};

} // namespace

class TestIpList : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid() &&
                qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())));
    }

    // "<stored keys>~<list>~<keys afterwards>~<failing>"; "failing" is "Desc_1" (that
    // write refused) or "file" (a folder in the file's place).
    void save_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("last slot read, IP_100 not")
            << u"IP_99=a;Desc_99=b;IP_100=x~~IP_99=a;Desc_99=b~"_s;
        QTest::newRow("description under an empty IP Number stops at once") << u"~|only~~"_s;
        QTest::newRow("emptied row 1 keeps rows 1 and 2 as stored")
            << u"IP_0=a;Desc_0=A;IP_1=b;IP_2=c~a|new;|B;c|C~IP_0=a;Desc_0=new;IP_1=b;IP_2=c~"_s;
        QTest::newRow("missing IP_1 is an empty row, later rows still read")
            << u"IP_0=a;Desc_1=B;IP_2=c~x|~IP_0=x;Desc_0=;Desc_1=B;IP_2=c~"_s;
        QTest::newRow("texts kept as typed")
            << u"~ 300.010.1.1 |=#[x]\t１０ \"a\"\n\\b~IP_0= 300.010.1.1 ;Desc_0==#[x]\t１０ \"a\"\n\\b~"_s;
        QTest::newRow("refused write reported, the later ones still made")
            << u"~a|A;b|B;c|C~IP_0=a;Desc_0=A;IP_1=b;IP_2=c;Desc_2=C~Desc_1"_s;
        QTest::newRow("unwritable file: nothing to write is no failure") << u"~~~file"_s;
        QTest::newRow("unwritable file: the failure is reported") << u"~a|A~~file"_s;
        QStringList full, keys;
        for (int i = 0; i < kIpListSlotCount; ++i) {
            full.append(u"10.0.1.%1|d%1"_s.arg(i));
            keys.append(u"IP_%1=10.0.1.%1;Desc_%1=d%1"_s.arg(i));
        }
        QTest::newRow("all 100 rows") << u"~%1~%2~"_s.arg(full.join(u';'), keys.join(u';'));
    }

    void save()
    {
        QFETCH(QString, row);
        const QStringList part = row.split(u'~');
        const QList<IpListEntry> list = rows(part[1]);
        const QString failing = part[3];
        putOnDisk(keysFrom(part[0]));
        const QString file = m_config.path() + u"/Corvane/Corvane.conf"_s;
        QVERIFY(failing != u"file" || QDir().mkpath(file)); // a folder in the file's place
        std::unique_ptr<SettingsStore> store = createSystemSettingsStore();
        if (failing == u"Desc_1")
            store = std::make_unique<OneKeyFails>();
        QCOMPARE(saveIpList(*store, list), failing.isEmpty() || list.first().ipNumber.isEmpty());
        const QByteArray saved = readFile(file); // in the file already, before the store closes
        store.reset();
        QCOMPARE(readFile(file), saved);
        QCOMPARE(listOnDisk(), keysFrom(part[2]));
        FakeEchoProber prober; // all 100 slots read, a missing key as the empty text
        IpListSheet sheet(prober);
        sheet.load(*createSystemSettingsStore());
        KeyValues expected = keysOf(rows({}));
        expected.insert(listOnDisk());
        QCOMPARE(keysOf(sheet.entries()), expected);
    }

    // The row's first word is the key: only the sum of its code and Shift 1, Ctrl 2, Alt 4
    // counts (F5 116 refreshes, 117 tells the feature is missing); Esc closes.
    void keyActions_data()
    {
        QTest::addColumn<IpListKeyAction>("action");
        for (const char *name : {"F5 refreshes", "Shift+F4 refreshes", "Alt+Meta+F1 refreshes",
                                 "Ctrl+Alt+Num+, refreshes"})
            QTest::newRow(name) << IpListKeyAction::Refresh;
        for (const char *name : {"F6 tells", "Ctrl+F4 tells", "Ctrl+Alt+Num+/ tells"})
            QTest::newRow(name) << IpListKeyAction::FeatureNotAvailable;
        QTest::newRow("Ctrl+Alt+Esc closes") << IpListKeyAction::Close;
        for (const char *name : {"Ctrl+F5 does nothing", "Shift+Alt+/ off the keypad: nothing"})
            QTest::newRow(name) << IpListKeyAction::None;
    }

    void keyActions()
    {
        const QKeyCombination key = QKeySequence::fromString(
            QString::fromUtf8(QTest::currentDataTag()).section(u' ', 0, 0))[0];
        const Qt::KeyboardModifiers held = key.keyboardModifiers();
        QTEST(keyActionFor(virtualKeyCode(key.key(), held), shiftState(held)), "action");
    }

    // "<steps>><checks>". Steps are the window's events: "goto <row> <column>", "type <text>",
    // "press" (mouse on the grid), "focus"/"leave" (the edit box gets/loses the focus), "refresh"
    // (F5), "deny" (no echo requests any more). Checks: "<row>,<column>=<cell>",
    // "current=<row>,<column>", "editor=", "entered=", "entries=<row>,<ip>,<desc>", "told=".
    void editing_data()
    {
        QTest::addColumn<QString>("row");
        QTest::newRow("opened: edit box over row 0, marks of loopback rows")
            << u">current=0,0;editor=127.0.0.1;0,2=X;1,2=;2,2=X;3,2=;4,2=X;5,2=;99,2=;told=0"_s;
        QTest::newRow("mouse press writes the edit box into its cell")
            << u"goto 1 1;type router;press>1,1=router;editor=router;entries=1,not an address,router"_s;
        QTest::newRow("typing alone leaves the cell as it was, but counts when saved")
            << u"goto 1 1;type router>1,1=name only;entries=1,not an address,router"_s;
        QTest::newRow("cell left takes the edit box, cell entered gives it its text")
            << u"goto 1 1;type router;goto 4 0;press>1,1=router;current=4,0;editor=127.0.0.4"_s;
        QTest::newRow("marked marker cell gets its mark back")
            << u"goto 0 2;type zz;goto 4 1>0,2=X;entered=X;editor=four"_s;
        QTest::newRow("unmarked marker cell stays empty")
            << u"goto 1 2;type zz;press;goto 4 1>1,2=;entered=;entries=1,not an address,name only"_s;
        QTest::newRow("focus writes the edit box into its cell")
            << u"goto 6 1;type x;focus>6,1=x"_s;
        QTest::newRow("focus loss after a press moves nothing, the next moves on")
            << u"goto 3 0;press;leave;type +;leave>current=3,1;3,0=+;editor=leading blank"_s;
        QTest::newRow("focus loss on a marker moves to the next row")
            << u"goto 3 2;leave>current=4,0"_s;
        QTest::newRow("focus loss on the last cell stays") << u"goto 99 2;leave>current=99,2"_s;
        QTest::newRow("refresh keeps the current cell and the typed text")
            << u"goto 3 1;type typed;refresh>current=3,1;editor=typed;entries=3, 127.0.0.3,typed;0,2=X;3,2="_s;
        QTest::newRow("refresh probes the typed IP Number, old marks cleared")
            << u"goto 4 0;type gone;refresh;goto 1 0;type 127.0.0.1;refresh>4,2=;1,2=X;0,2=X"_s;
        QTest::newRow("refresh over a marker cell gives the edit box the new mark")
            << u"goto 2 0;type none;goto 2 2;refresh;goto 0 1>2,2=;entered=;0,2=X"_s;
        QTest::newRow("no echo requests: every refresh tells and clears the marks")
            << u"deny;refresh;refresh>told=2;0,2=;2,2="_s;
    }

    void editing()
    {
        QFETCH(QString, row);
        const QString steps = row.section(u'>', 0, 0), checks = row.section(u'>', 1);
        putOnDisk(keysOf(rows(u"127.0.0.1|this machine;not an address|name only;127.0.0.2|;"
                              u" 127.0.0.3|leading blank;127.0.0.4|four;127.0.0.5|silent"_s)));
        FakeEchoProber prober; // the replies come back in the reverse order of the rows
        prober.answering = {0x7F000001, 0x7F000002, 0x7F000004};
        prober.delay = [](quint32 address) { return 40 - 5 * int(address & 0xFF); };
        IpListSheet sheet(prober);
        sheet.load(*createSystemSettingsStore());
        int told = 0;
        for (const QString &step : QString(u"refresh;"_s + steps).split(u';', Qt::SkipEmptyParts)) {
            const QString verb = step.section(u' ', 0, 0);
            if (verb == u"goto")
                sheet.moveTo({step.section(u' ', 1, 1).toInt(), step.section(u' ', 2).toInt()});
            else if (verb == u"type")
                sheet.setEditorText(step.mid(5));
            else if (verb == u"press")
                sheet.pressMouse();
            else if (verb == u"focus")
                sheet.focusEditor();
            else if (verb == u"leave")
                sheet.leaveEditor();
            else if (verb == u"deny")
                prober.available = false, prober.sent.clear();
            else if (const std::optional<QString> message = sheet.refreshMarks())
                told += *message == echoUnavailableMessage(prober.unavailableReason()) ? 1 : 100;
        }
        QVERIFY(prober.available || prober.sent.isEmpty());
        QCOMPARE(prober.ttlAndTimeout.value(0), (QPair<int, int>{128, 200}));
        for (const QString &check : checks.split(u';')) {
            const QString what = check.section(u'=', 0, 0);
            const QStringList at =
                (what.contains(u',') ? what : check.section(u'=', 1)).split(u',');
            const IpListEntry entry = sheet.entries().value(at.at(0).toInt());
            const GridCell current = sheet.current();
            const QString got = what == u"current" ? u"%1,%2"_s.arg(current.row).arg(current.column)
                                : what == u"editor"  ? sheet.editorText()
                                : what == u"entered" ? sheet.enteredMarker()
                                : what == u"told"    ? QString::number(told)
                                : what == u"entries"
                                    ? u"%1,%2,%3"_s.arg(at.at(0), entry.ipNumber, entry.description)
                                    : sheet.cellText({at.at(0).toInt(), at.value(1).toInt()});
            QCOMPARE(what + u'=' + got, check);
        }
        QVERIFY(!sheet.isRefreshing());
    }

    void editingThroughTheGrid()
    {
        const std::unique_ptr<EchoProber> prober = createSystemEchoProber();
        if (!prober->isAvailable())
            QSKIP(
                qPrintable(u"echo requests cannot be sent here: "_s + prober->unavailableReason()));
        // Loopback rows answer; a name and a leading blank are not sent.
        putOnDisk(keysOf({{u"127.0.0.1"_s, u"this machine"_s},
                          {u"not an address"_s, u"name\tonly"_s},
                          {u"127.000.000.010"_s, QString()},
                          {u" 127.0.0.3"_s, QString(40000, u'd')}}));
        const std::unique_ptr<SettingsStore> store = createSystemSettingsStore();
        int hourglasses = 0;
        connect(prober.get(), &EchoProber::finished, this, [&] {
            hourglasses += QApplication::overrideCursor() &&
                           QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        IpListWindow form(*store, *prober);
        disconnect(prober.get(), nullptr, this, nullptr);
        QCOMPARE(hourglasses, 2); // one per row sent
        QVERIFY(!QApplication::overrideCursor());
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *grid = child<IpListGrid>(form, "grid");
        auto *editor = child<QLineEdit>(form, "cellEditor");
        const auto mark = [&](int row) { return grid->cellText(row, kMarkerColumn); };
        const auto click = [&](int row, int column, Qt::MouseButton button = Qt::LeftButton) {
            grid->scrollToItem(grid->item(row, column)); // only a cell in view can be clicked
            QTest::mouseClick(grid->viewport(), button, {},
                              grid->visualItemRect(grid->item(row, column)).center());
        };
        const auto editBoxOver = [&](int row, int column) {
            return editor->isVisible() && grid->currentRow() == row &&
                   grid->currentColumn() == column &&
                   editor->geometry() == grid->cellRect(row, column, &form);
        };
        QCOMPARE(grid->rowCount(), kIpListSlotCount);
        QCOMPARE((QStringList{mark(0), mark(1), mark(2), mark(3), mark(99)}),
                 (QStringList{u"X"_s, {}, u"X"_s, {}, {}}));
        QVERIFY(editBoxOver(0, kIpNumberColumn) && editor->hasFocus());

        // Scrolled away by the wheel, the edit box takes no typing until a click lays it
        // over a cell again; the window's keys still work.
        QTest::keyClick(form.windowHandle(), 'a');
        const QPointF at = grid->viewport()->rect().center();
        QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
        QVERIFY(grid->verticalScrollBar()->value() > 0 && !editor->isVisible());
        for (const auto key : {Qt::Key_Z, Qt::Key_Backspace})
            QTest::keyClick(form.windowHandle(), key);
        QInputMethodEvent composed;
        composed.setCommitString(u"zz"_s);
        QApplication::sendEvent(QGuiApplication::focusObject(), &composed);
        QCOMPARE(editor->text(), u"127.0.0.1a"_s);
        QTest::keyClick(form.windowHandle(), Qt::Key_F5);
        QCOMPARE(mark(0), QString());
        click(97, kIpNumberColumn);
        QVERIFY(editBoxOver(97, kIpNumberColumn));

        // Clicks with either button move the edit box, which carries every stored text
        // unchanged; Tab, Return and Down move nothing.
        click(3, kDescriptionColumn);
        click(1, kDescriptionColumn);
        QTest::keyClicks(editor, u" upstairs"_s);
        for (const auto key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Down})
            QTest::keyClick(editor, key);
        QVERIFY(editBoxOver(1, kDescriptionColumn));
        click(0, kMarkerColumn, Qt::RightButton);
        QCOMPARE(grid->cellText(1, kDescriptionColumn), u"name\tonly upstairs"_s);
        QVERIFY(editBoxOver(0, kMarkerColumn));
        click(1, kIpNumberColumn);
        editor->selectAll();
        QTest::keyClicks(editor, u"127.0.0.1"_s);
        // A focus loss that no mouse press caused moves on to the next cell.
        editor->clearFocus(); // the one after the click
        editor->setFocus(Qt::OtherFocusReason);
        editor->clearFocus();
        QVERIFY(editBoxOver(1, kDescriptionColumn) && editor->hasFocus());
        QTest::keyClick(editor, Qt::Key_F5);
        QCOMPARE(mark(1), u"X"_s);

        DialogAnswerer answerer({QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Discard});
        QTest::keyClick(editor, Qt::Key_F5, Qt::ShiftModifier);
        const SeenDialog box = answerer.seen().value(0);
        QCOMPARE(u"%1|%2|%3|%4"_s.arg(box.title, box.text).arg(box.icon).arg(box.buttons.toInt()),
                 u"Corvane|Feature not available yet.|0|1024"_s); // Ok
        QCOMPARE(box.parent, &form);
        QVERIFY(editBoxOver(1, kDescriptionColumn));
        QTest::keyClicks(editor, u" new"_s);

        // The close box stores as Esc does; where that fails (a folder in the settings
        // file's place) the user may keep the list open, or let it go.
        const QString file = m_config.path() + u"/Corvane/Corvane.conf"_s;
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        form.windowHandle()->close();
        QVERIFY(answerer.seen().size() == 2 && answerer.seen().at(1).icon == QMessageBox::Warning &&
                answerer.seen().at(1).text.contains(file));
        QVERIFY(form.isVisible() && editBoxOver(1, kDescriptionColumn));
        QCOMPARE(editor->text(), u"name\tonly upstairs new"_s);
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(answerer.seen().size(), 3);
        QVERIFY(!form.isVisible());

        QVERIFY(QDir(file).removeRecursively());
        form.show();
        QTest::keyClick(editor, Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!form.isVisible());
        const KeyValues stored = listOnDisk();
        QCOMPARE(stored.value(u"IP_1"_s) + u'|' + stored.value(u"Desc_1"_s),
                 u"127.0.0.1|name\tonly upstairs new"_s);
        QCOMPARE(stored.value(u"Desc_3"_s).size(), 40000);
        putOnDisk({}); // closed once: a second close stores nothing
        form.reject();
        QCOMPARE(listOnDisk(), KeyValues());
    }
};

QTEST_MAIN(TestIpList)
#include "tst_iplist.moc"
