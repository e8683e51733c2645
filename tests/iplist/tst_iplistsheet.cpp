#include "fakeechoprober.h"
#include "iplistfiles.h"
#include "iplistsheet.h"

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

QList<IpListEntry> numbered(int count, const QString &description = u"host %1"_s)
{
    QList<IpListEntry> rows;
    for (int i = 0; i < count; ++i)
        rows.append({u"10.0.0.%1"_s.arg(i),
                     description.contains(u"%1") ? description.arg(i) : description});
    return rows;
}

// A real store that refuses one chosen key, which a real file cannot do.
class OneKeyFails : public SettingsStore
{
public:
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

private:
    std::unique_ptr<SettingsStore> m_store = createSystemSettingsStore();
};

const QList<IpListEntry> kSampleRows = {
    {u"127.0.0.1"_s, u"this machine"_s}, {u"not an address"_s, u"name only"_s},
    {u"127.0.0.2"_s, QString()},         {u" 127.0.0.3"_s, u"leading blank"_s},
    {u"127.0.0.4"_s, u"four"_s},
};

} // namespace

class TestIpListSheet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(usePrivateConfig(m_config)); }
    void save_data();
    void save();
    void failedWritesAreReported();
    void editing_data();
    void editing();
    void keyActions_data();
    void keyActions();
    void probeRuns();
    void unavailableProberIsTold();

private:
    QTemporaryDir m_config;
};

void TestIpListSheet::save_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<QList<IpListEntry>>("rows");
    QTest::addColumn<KeyValues>("afterwards");

    QTest::newRow("empty list writes nothing") << KeyValues() << listOf({}) << KeyValues();
    const KeyValues last{{u"IP_99"_s, u"10.9.9.9"_s}, {u"Desc_99"_s, u"last"_s}};
    KeyValues beyond = last;
    beyond.insert(u"IP_100"_s, u"x"_s);
    QTest::newRow("last slot read, IP_100 not") << beyond << listOf({}) << last;
    QTest::newRow("rows 0 to 4") << KeyValues() << listOf(numbered(5)) << keysOf(numbered(5));
    QTest::newRow("description under an empty IP Number stops at once")
        << KeyValues() << listOf({{QString(), u"only a description"_s}}) << KeyValues();
    QList<IpListEntry> edited = listOf(numbered(10));
    edited[3].ipNumber.clear();
    edited[7].description = u"changed"_s;
    QTest::newRow("emptied row 3 keeps rows 3 to 9 as stored")
        << keysOf(numbered(10)) << edited << keysOf(numbered(10));
    KeyValues hole = keysOf(numbered(5));
    hole.remove(u"IP_3"_s);
    QList<IpListEntry> renamed = numbered(5, u"new %1"_s);
    renamed[3].ipNumber.clear();
    KeyValues holeAfter = hole;
    holeAfter.insert(keysOf(numbered(3, u"new %1"_s)));
    QTest::newRow("hole at IP_3 leaves IP_4 and Desc_4 alone")
        << hole << listOf(renamed) << holeAfter;
    const QList<IpListEntry> blank = numbered(2, QString());
    QTest::newRow("empty descriptions written as empty texts")
        << keysOf(numbered(2, u"old"_s)) << listOf(blank) << keysOf(blank);
    QList<IpListEntry> full;
    for (int i = 0; i < kIpListSlotCount; ++i)
        full.append({u"10.0.1.%1"_s.arg(i), u"d%1"_s.arg(i)});
    QTest::newRow("all 100 rows") << KeyValues() << full << keysOf(full);
    const QList<IpListEntry> odd = {{u"not an address"_s, u"x"_s},
                                    {u" 10.0.0.1 "_s, u" padded "_s},
                                    {u"300.010.1.1"_s, u"a, b"_s},
                                    {u"=;#[x]\t"_s, u"\"a\"\n\\b"_s},
                                    {u"１０.0.0.1"_s, u"Zürich → 東京"_s}};
    QTest::newRow("texts kept as typed") << KeyValues() << listOf(odd) << keysOf(odd);
}

void TestIpListSheet::save()
{
    QFETCH(KeyValues, stored);
    QFETCH(QList<IpListEntry>, rows);
    QFETCH(KeyValues, afterwards);
    putOnDisk(stored);
    const auto store = createSystemSettingsStore();
    QVERIFY(saveIpList(*store, rows));
    QCOMPARE(listOnDisk(), afterwards); // on disk while the saving store is still open
    // Loading reads all 100 slots; a missing key reads as the empty text.
    QList<IpListEntry> expected;
    for (int slot = 0; slot < kIpListSlotCount; ++slot)
        expected.append(
            {afterwards.value(ipListIpKey(slot)), afterwards.value(ipListDescKey(slot))});
    FakeEchoProber prober;
    IpListSheet sheet(prober);
    sheet.load(*createSystemSettingsStore());
    QCOMPARE(sheet.entries(), expected);
}

void TestIpListSheet::failedWritesAreReported()
{
    putOnDisk({});
    OneKeyFails failing;
    QVERIFY(!saveIpList(failing, listOf(numbered(3))));
    KeyValues expected = keysOf(numbered(3));
    expected.remove(u"Desc_1"_s); // the rest is still written
    QCOMPARE(listOnDisk(), expected);

    // A folder where the file should be: nothing can be written, for root too.
    putOnDisk({});
    QVERIFY(QDir().mkpath(m_config.path() + u"/Corvane/Corvane.conf"_s));
    const auto store = createSystemSettingsStore();
    QVERIFY(saveIpList(*store, listOf({}))); // nothing to write is no failure
    QVERIFY(!saveIpList(*store, listOf(numbered(2))));
    QVERIFY(!store->lastError().isEmpty());
}

// Each step is an event of the window: "goto <row> <column>" (the current cell
// moves), "type <text>", "press" (a mouse press on the grid), "focus" and
// "leave" (the edit box gets or loses the focus), "refresh" (F5). Each check
// is "<row>,<column>=<cell text>", "current=<row>,<column>", "editor=<text>",
// "entered=<marker>" or "entries=<row>,<ip>,<description>".
void TestIpListSheet::editing_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("checks");
    const auto row = [](const char *name, const char *steps, const char *checks) {
        QTest::newRow(name) << QString::fromUtf8(steps) << QString::fromUtf8(checks);
    };
    row("opened: edit box over row 0, marks of loopback rows", "",
        "current=0,0;editor=127.0.0.1;0,2=X;1,2=;2,2=X;3,2=;4,2=X;99,2=");
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
    row("refresh probes the typed IP Number",
        "goto 4 0;type gone;refresh;goto 1 0;type 127.0.0.1;refresh", "4,0=gone;4,2=;1,2=X");
    row("refresh over a marker cell gives the edit box the new mark",
        "goto 2 0;type none;goto 2 2;refresh;goto 0 1", "2,2=;entered=;0,2=X");
}

// Each step is an event of the window: "goto <row> <column>" (the current cell
// moves), "type <text>", "press" (a mouse press on the grid), "focus" and
// "leave" (the edit box gets or loses the focus), "refresh" (F5). Each check
// is "<row>,<column>=<cell text>", "current=<row>,<column>", "editor=<text>",
// "entered=<marker>" or "entries=<row>,<ip>,<description>".
void TestIpListSheet::editing()
{
    QFETCH(QString, steps);
    QFETCH(QString, checks);
    putOnDisk(keysOf(kSampleRows));
    FakeEchoProber prober;
    prober.answering = {loopback(1), loopback(2), loopback(4)};
    IpListSheet sheet(prober);
    sheet.load(*createSystemSettingsStore());
    QVERIFY(!sheet.refreshMarks());
    for (const QString &step : steps.split(u';', Qt::SkipEmptyParts)) {
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
        else
            QVERIFY(!sheet.refreshMarks());
    }
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
        else
            QCOMPARE(sheet.cellText({at.at(0).toInt(), at.at(1).toInt()}), value);
    }
    QVERIFY(!sheet.isRefreshing());
}

void TestIpListSheet::keyActions_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<IpListKeyAction>("action");
    const auto row = [](const char *name, int key, Qt::KeyboardModifiers held, IpListKeyAction to) {
        QTest::newRow(name) << key << held << to;
    };
    const Qt::KeyboardModifiers none, shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier),
        alt(Qt::AltModifier), keypad(Qt::KeypadModifier);
    using enum IpListKeyAction;
    row("F5 refreshes", Qt::Key_F5, none, Refresh);
    row("Shift+F4 refreshes", Qt::Key_F4, shift, Refresh);
    row("Ctrl+F3 refreshes", Qt::Key_F3, ctrl, Refresh);
    row("Alt+F1 refreshes", Qt::Key_F1, alt, Refresh);
    row("Shift+Alt+keypad slash refreshes", Qt::Key_Slash, shift | alt | keypad, Refresh);
    row("Ctrl+Alt+keypad period refreshes", Qt::Key_Period, ctrl | alt | keypad, Refresh);
    row("Meta does not count", Qt::Key_F5, Qt::MetaModifier, Refresh);
    row("F6 tells", Qt::Key_F6, none, FeatureNotAvailable);
    row("Shift+F5 tells", Qt::Key_F5, shift, FeatureNotAvailable);
    row("Ctrl+F4 tells", Qt::Key_F4, ctrl, FeatureNotAvailable);
    row("Ctrl+Alt+keypad slash tells", Qt::Key_Slash, ctrl | alt | keypad, FeatureNotAvailable);
    row("Esc closes", Qt::Key_Escape, none, Close);
    row("Ctrl+Alt+Shift+Esc closes", Qt::Key_Escape, ctrl | alt | shift, Close);
    row("Ctrl+F5 does nothing", Qt::Key_F5, ctrl, None);
    row("F24 does nothing", Qt::Key_F24, none, None);
    row("keypad 9 with Ctrl and Alt does nothing", Qt::Key_9, ctrl | alt | keypad, None);
    row("keypad minus with Shift and Alt does nothing", Qt::Key_Minus, shift | alt | keypad, None);
    row("slash off the keypad does nothing", Qt::Key_Slash, shift | alt, None);
    row("letter T does nothing", Qt::Key_T, ctrl | alt, None);
}

void TestIpListSheet::keyActions()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QTEST(keyActionFor(virtualKeyCode(key, modifiers), shiftState(modifiers)), "action");
}

// Replies come back in the reverse order of the rows, another user of the same
// prober gets an answer in between, one probe is lost, and a cancelled run
// reports late: every answer reaches its own row of its own run.
void TestIpListSheet::probeRuns()
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

    // The cancelled run's answer comes late, before the next run ends.
    prober.reportCancelledToo = true;
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

// Rows without a mark would say that nothing answers: where echo requests
// cannot be sent the user is told instead, once per probing.
void TestIpListSheet::unavailableProberIsTold()
{
    putOnDisk(keysOf(kSampleRows));
    FakeEchoProber prober;
    prober.available = false;
    prober.answering = {loopback(1)};
    IpListSheet sheet(prober);
    sheet.load(*createSystemSettingsStore());
    for (int probing = 0; probing < 2; ++probing) {
        QCOMPARE(sheet.refreshMarks().value_or(QString()),
                 echoUnavailableMessage(prober.unavailableReason()));
        QCOMPARE(sheet.cellText({0, kMarkerColumn}), QString());
    }
    QVERIFY(prober.sent.isEmpty());
    prober.available = true;
    QVERIFY(!sheet.refreshMarks());
    QCOMPARE(sheet.cellText({0, kMarkerColumn}), u"X"_s);
}

QTEST_GUILESS_MAIN(TestIpListSheet)
#include "tst_iplistsheet.moc"
