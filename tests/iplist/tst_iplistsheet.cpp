#include "fakeechoprober.h"
#include "iplistfiles.h"
#include "iplistsheet.h"
#include "testfiles.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 loopback(int last)
{
    return quint32(127) << 24 | quint32(last);
}

QList<IpListEntry> listOf(QList<IpListEntry> rows)
{
    rows.resize(kIpListSlotCount);
    return rows;
}

// "ip|description;..." as the list from row 0 on.
QList<IpListEntry> rows(const QString &text)
{
    QList<IpListEntry> entries;
    for (const QString &row : text.split(u';', Qt::SkipEmptyParts))
        entries.append({row.section(u'|', 0, 0), row.section(u'|', 1)});
    return listOf(entries);
}

// "IP_0=a;Desc_0=b;..." as settings keys.
KeyValues keys(const QString &text)
{
    KeyValues keys;
    for (const QString &key : text.split(u';', Qt::SkipEmptyParts))
        keys.insert(key.section(u'=', 0, 0), key.section(u'=', 1));
    return keys;
}

// A real store that refuses to write "Desc_1", which a real file cannot do.
struct OneKeyFails : SettingsStore
{
    QString readSetting(const QString &a, const QString &s, const QString &k,
                        const QString &d) override
    {
        return m_store->readSetting(a, s, k, d);
    }
    bool writeSetting(const QString &a, const QString &s, const QString &k,
                      const QString &v) override
    {
        return k != u"Desc_1" && m_store->writeSetting(a, s, k, v);
    }
    bool flush() override { return m_store->flush(); }
    QString lastError() const override { return m_store->lastError(); }
    std::unique_ptr<SettingsStore> m_store = createSystemSettingsStore();
};

} // namespace

class TestIpListSheet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

private slots:
    void initTestCase() { QVERIFY(usePrivateConfig(m_config)); }

    // "failing" is "Desc_1" (that write refused) or "file" (a folder in its place).
    void save_data()
    {
        QTest::addColumn<KeyValues>("stored");
        QTest::addColumn<QList<IpListEntry>>("list");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<KeyValues>("afterwards");
        const auto row = [](const char *name, const QString &stored, const QString &list,
                            const QString &afterwards, const QString &failing = {}) {
            QTest::newRow(name) << keys(stored) << rows(list) << failing << keys(afterwards);
        };
        const QString five = u"IP_0=a;Desc_0=A;IP_1=b;Desc_1=B;IP_2=c;Desc_2=;IP_3=d;IP_4=e"_s;
        row("empty list writes nothing", {}, {}, {});
        row("last slot read, IP_100 not", u"IP_99=a;Desc_99=b;IP_100=x"_s, {},
            u"IP_99=a;Desc_99=b"_s);
        row("description under an empty IP Number stops at once", {}, u"|only"_s, {});
        row("emptied row 3 keeps rows 3 and 4 as stored", five, u"a|new;b|B;c|;|D;e|changed"_s,
            u"IP_0=a;Desc_0=new;IP_1=b;Desc_1=B;IP_2=c;Desc_2=;IP_3=d;IP_4=e"_s);
        row("missing IP_1 is an empty row, later rows still read", u"IP_0=a;Desc_1=B;IP_2=c"_s,
            u"x|X"_s, u"IP_0=x;Desc_0=X;Desc_1=B;IP_2=c"_s);
        row("empty descriptions written as empty texts", u"IP_0=a;Desc_0=old"_s, u"a|"_s,
            u"IP_0=a;Desc_0="_s);
        row("refused write reported, the later ones still made", {}, u"a|A;b|B;c|C"_s,
            u"IP_0=a;Desc_0=A;IP_1=b;IP_2=c;Desc_2=C"_s, u"Desc_1"_s);
        row("unwritable file: nothing to write is no failure", {}, {}, {}, u"file"_s);
        row("unwritable file: the failure is reported", {}, u"a|A"_s, {}, u"file"_s);
        QList<IpListEntry> full;
        for (int i = 0; i < kIpListSlotCount; ++i)
            full.append({u"10.0.1.%1"_s.arg(i), u"d%1"_s.arg(i)});
        QTest::newRow("all 100 rows") << KeyValues() << full << QString() << keysOf(full);
        const QList<IpListEntry> odd = {{u" 300.010.1.1 "_s, u" padded "_s},
                                        {u"=;#[x]\t１０"_s, u"\"a\"\n\\b → 東京"_s}};
        QTest::newRow("texts kept as typed")
            << KeyValues() << listOf(odd) << QString() << keysOf(odd);
    }

    void save()
    {
        QFETCH(KeyValues, stored);
        QFETCH(QList<IpListEntry>, list);
        QFETCH(QString, failing);
        QFETCH(KeyValues, afterwards);
        putOnDisk(stored);
        const QString file = m_config.path() + u"/Corvane/Corvane.conf"_s;
        QVERIFY(failing != u"file" || QDir().mkpath(file)); // a folder in the file's place
        std::unique_ptr<SettingsStore> store = createSystemSettingsStore();
        if (failing == u"Desc_1")
            store = std::make_unique<OneKeyFails>();
        QCOMPARE(saveIpList(*store, list), failing.isEmpty() || list.first().ipNumber.isEmpty());
        const QByteArray saved = readFile(file); // in the file already, before the store closes
        store.reset();
        QCOMPARE(readFile(file), saved);
        QCOMPARE(listOnDisk(), afterwards);
        QList<IpListEntry> expected; // all 100 slots; a missing key reads as the empty text
        for (int slot = 0; slot < kIpListSlotCount; ++slot)
            expected.append(
                {afterwards.value(ipListIpKey(slot)), afterwards.value(ipListDescKey(slot))});
        FakeEchoProber prober;
        IpListSheet sheet(prober);
        sheet.load(*createSystemSettingsStore());
        QCOMPARE(sheet.entries(), expected);
    }

    // Only the sum of the key code and Shift 1, Ctrl 2, Alt 4 counts; Esc closes.
    void keyActions_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("held");
        QTest::addColumn<IpListKeyAction>("action");
        const Qt::KeyboardModifiers shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier),
            alt(Qt::AltModifier), pad(Qt::KeypadModifier);
        const auto row = [](const char *name, int key, Qt::KeyboardModifiers held,
                            IpListKeyAction action) {
            QTest::newRow(name) << key << held << action;
        };
        const auto refresh = IpListKeyAction::Refresh, tell = IpListKeyAction::FeatureNotAvailable;
        row("F5 refreshes", Qt::Key_F5, {}, refresh);
        row("Shift+F4 refreshes", Qt::Key_F4, shift, refresh);
        row("Ctrl+F3 refreshes", Qt::Key_F3, ctrl, refresh);
        row("Alt+F1 refreshes, Meta does not count", Qt::Key_F1, alt | Qt::MetaModifier, refresh);
        row("Ctrl+Alt+keypad comma refreshes", Qt::Key_Comma, ctrl | alt | pad, refresh);
        row("Ctrl+Alt+Shift+keypad minus refreshes", Qt::Key_Minus, ctrl | alt | shift | pad,
            refresh);
        row("F6 tells", Qt::Key_F6, {}, tell);
        row("Ctrl+F4 tells", Qt::Key_F4, ctrl, tell);
        row("Ctrl+Alt+keypad slash tells", Qt::Key_Slash, ctrl | alt | pad, tell);
        row("Ctrl+Alt+Esc closes", Qt::Key_Escape, ctrl | alt, IpListKeyAction::Close);
        row("Ctrl+F5 does nothing", Qt::Key_F5, ctrl, IpListKeyAction::None);
        row("F24 does nothing", Qt::Key_F24, {}, IpListKeyAction::None);
        row("Shift+Alt+slash off the keypad does nothing", Qt::Key_Slash, shift | alt,
            IpListKeyAction::None);
    }

    void keyActions()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, held);
        QFETCH(IpListKeyAction, action);
        QCOMPARE(keyActionFor(virtualKeyCode(key, held), shiftState(held)), action);
    }

    // Each step is an event of the window: "goto <row> <column>" (the current
    // cell moves), "type <text>", "press" (a mouse press on the grid), "focus"
    // and "leave" (the edit box gets or loses the focus), "refresh" (F5),
    // "deny" (echo requests cannot be sent any more). Each check is "<row>,
    // <column>=<cell text>", "current=<row>,<column>", "editor=<text>",
    // "entered=<marker>", "entries=<row>,<ip>,<description>" or "told=<times>".
    void editing_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("checks");
        const auto row = [](const char *name, const char *steps, const char *checks) {
            QTest::newRow(name) << QString::fromUtf8(steps) << QString::fromUtf8(checks);
        };
        row("opened: edit box over row 0, marks of loopback rows", "",
            "current=0,0;editor=127.0.0.1;0,2=X;1,2=;2,2=X;3,2=;4,2=X;99,2=;told=0");
        row("mouse press writes the edit box into its cell", "goto 1 1;type router;press",
            "1,1=router;editor=router;entries=1,not an address,router");
        row("typing alone leaves the cell as it was", "goto 1 1;type router", "1,1=name only");
        row("cell left takes the edit box, cell entered gives it its text",
            "goto 1 1;type router;goto 4 0;press", "1,1=router;current=4,0;editor=127.0.0.4");
        row("marked marker cell gets its mark back", "goto 0 2;type zz;goto 4 1",
            "0,2=X;entered=X;editor=four");
        row("unmarked marker cell stays empty", "goto 1 2;type zz;press;goto 4 1",
            "1,2=;entered=;entries=1,not an address,name only");
        row("focus writes the edit box into its cell", "goto 5 1;type x;focus", "5,1=x");
        row("focus loss after a press moves nothing, the next moves on",
            "goto 3 0;press;leave;type +;leave", "current=3,1;3,0=+;editor=leading blank");
        row("focus loss on a marker moves to the next row", "goto 3 2;leave", "current=4,0");
        row("focus loss on the last cell stays", "goto 99 2;leave", "current=99,2");
        row("refresh keeps the current cell and the typed text", "goto 3 1;type typed;refresh",
            "current=3,1;editor=typed;entries=3, 127.0.0.3,typed;0,2=X;3,2=");
        row("refresh probes the typed IP Number, old marks cleared",
            "goto 4 0;type gone;refresh;goto 1 0;type 127.0.0.1;refresh", "4,2=;1,2=X;0,2=X");
        row("refresh over a marker cell gives the edit box the new mark",
            "goto 2 0;type none;goto 2 2;refresh;goto 0 1", "2,2=;entered=;0,2=X");
        row("no echo requests: every refresh tells and clears the marks", "deny;refresh;refresh",
            "told=2;0,2=;2,2=");
    }

    void editing()
    {
        QFETCH(QString, steps);
        QFETCH(QString, checks);
        putOnDisk(keysOf(rows(u"127.0.0.1|this machine;not an address|name only;127.0.0.2|;"
                              u" 127.0.0.3|leading blank;127.0.0.4|four"_s)));
        FakeEchoProber prober;
        prober.answering = {loopback(1), loopback(2), loopback(4)};
        IpListSheet sheet(prober);
        sheet.load(*createSystemSettingsStore());
        int told = 0;
        for (const QString &step : QString(u"refresh;"_s + steps).split(u';', Qt::SkipEmptyParts)) {
            const QStringList words = step.split(u' ');
            if (words.at(0) == u"goto")
                sheet.moveTo({words.at(1).toInt(), words.at(2).toInt()});
            else if (words.at(0) == u"type")
                sheet.setEditorText(step.mid(5));
            else if (words.at(0) == u"press")
                sheet.pressMouse();
            else if (words.at(0) == u"focus")
                sheet.focusEditor();
            else if (words.at(0) == u"leave")
                sheet.leaveEditor();
            else if (words.at(0) == u"deny")
                prober.available = false, prober.sent.clear();
            else if (const std::optional<QString> message = sheet.refreshMarks()) {
                QCOMPARE(*message, echoUnavailableMessage(prober.unavailableReason()));
                ++told;
            }
        }
        QVERIFY(prober.available || prober.sent.isEmpty());
        for (const QString &check : checks.split(u';')) {
            const QString what = check.section(u'=', 0, 0);
            const QString value = check.section(u'=', 1);
            const QStringList at = (what.contains(u',') ? what : value).split(u',');
            if (what == u"current")
                QCOMPARE(sheet.current(), (GridCell{at.at(0).toInt(), at.at(1).toInt()}));
            else if (what == u"editor")
                QCOMPARE(sheet.editorText(), value);
            else if (what == u"entered")
                QCOMPARE(sheet.enteredMarker(), value);
            else if (what == u"entries")
                QCOMPARE(sheet.entries().at(at.at(0).toInt()), (IpListEntry{at.at(1), at.at(2)}));
            else if (what == u"told")
                QCOMPARE(told, value.toInt());
            else
                QCOMPARE(sheet.cellText({at.at(0).toInt(), at.at(1).toInt()}), value);
        }
        QVERIFY(!sheet.isRefreshing());
    }

    // Replies come back in the reverse order of the rows, another user of the
    // same prober gets an answer in between, one probe is lost, and a cancelled
    // run reports late: every answer reaches its own row of its own run.
    void probeRuns()
    {
        FakeEchoProber prober;
        prober.delay = [](quint32 address) {
            return address == loopback(2) ? 60000 : qMax(0, 60 - 5 * int(address & 0xff));
        };
        QStringList rows{QString(), u"name"_s, u"1.2.3.4.5"_s};
        QList<bool> expected(3, false);
        for (int i = 3; i <= 10; ++i) {
            rows << u"127.0.0.%1"_s.arg(i);
            if (i % 3 == 0)
                prober.answering.insert(loopback(i));
            expected << (i % 3 == 0);
        }
        prober.answering.insert(loopback(99));
        IpListProbe probe(prober);
        QSignalSpy finished(&probe, &IpListProbe::finished);
        probe.start(rows);
        QCOMPARE(finished.size(), 0); // never from inside start()
        prober.probe(loopback(99), 64, 100);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), expected);
        QCOMPARE(prober.sent.size(), 8 + 1);
        QCOMPARE(prober.ttlAndTimeout.first(), (QPair<int, int>{128, 200}));

        probe.setGraceMs(100);
        prober.answering.insert(loopback(1));
        QCOMPARE(probe.probeAndWait({u"127.0.0.1"_s, u"127.0.0.2"_s}), (QList<bool>{true, false}));
        QCOMPARE(prober.cancelled.size(), 1); // the lost one, given up

        prober.reportCancelledToo = true; // the cancelled run's answer comes during the next
        probe.start({u"127.0.0.9"_s});
        probe.cancel();
        QVERIFY(!probe.isRunning());
        probe.start({u"127.0.0.5"_s});
        QTRY_COMPARE(finished.size(), 3);
        QCOMPARE(finished.at(2).at(0).value<QList<bool>>(), QList<bool>{false});

        probe.start({QString()}); // nothing to send still finishes, later
        QCOMPARE(finished.size(), 3);
        QTRY_COMPARE(finished.size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestIpListSheet)
#include "tst_iplistsheet.moc"
