#include "iplistsettings.h"
#include "recordingsettingsstore.h"
#include "settingsstore.h"

#include <QDir>
#include <QMap>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

using KeyValues = QMap<QString, QString>;

namespace {

QList<IPListEntry> rowsOf(const QList<QPair<QString, QString>> &filled)
{
    QList<IPListEntry> rows(IPListSlotCount);
    for (qsizetype i = 0; i < filled.size(); ++i)
        rows[i] = {filled.at(i).first, filled.at(i).second};
    return rows;
}

QList<IPListEntry> tenRows()
{
    QList<QPair<QString, QString>> filled;
    for (int i = 0; i < 10; ++i)
        filled.append({u"10.0.0.%1"_s.arg(i), u"host %1"_s.arg(i)});
    return rowsOf(filled);
}

KeyValues storeOf(const QList<IPListEntry> &rows, int count)
{
    KeyValues keys;
    for (int i = 0; i < count; ++i) {
        keys.insert(IPListIPKey(i), rows.at(i).ipNumber);
        keys.insert(IPListDescKey(i), rows.at(i).description);
    }
    return keys;
}

// Every "IP_"/"Desc_" key present in the store, read through a fresh store so
// that only what reached the file counts. A missing key is told apart from an
// empty one by reading it with two different defaults.
KeyValues keysOnDisk()
{
    const auto store = createSystemSettingsStore();
    KeyValues keys;
    for (int i = 0; i < IPListSlotCount; ++i) {
        for (const QString &key : {IPListIPKey(i), IPListDescKey(i)}) {
            const QString a = store->ReadSetting(u"Corvane"_s, u"Options"_s, key, u"<a>"_s);
            const QString b = store->ReadSetting(u"Corvane"_s, u"Options"_s, key, u"<b>"_s);
            if (a == b)
                keys.insert(key, a);
        }
    }
    return keys;
}

void putOnDisk(const KeyValues &keys)
{
    const auto store = createSystemSettingsStore();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        QVERIFY(store->WriteSetting(u"Corvane"_s, u"Options"_s, it.key(), it.value()));
    QVERIFY(store->flush());
}

QStringList expectedWrites(const QList<IPListEntry> &rows, int count)
{
    QStringList writes;
    for (int i = 0; i < count; ++i) {
        writes << IPListIPKey(i) + u'=' + rows.at(i).ipNumber;
        writes << IPListDescKey(i) + u'=' + rows.at(i).description;
    }
    return writes;
}

} // namespace

class TestIPListSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keyNames_data();
    void keyNames();
    void loadReadsEverySlotInOrder();
    void load_data();
    void load();
    void save_data();
    void save();
    void textsRoundTripExactly_data();
    void textsRoundTripExactly();
    void failedWriteDoesNotStopTheRest();
    void unwritableStoreIsReported();
    void firstIPNumberReadAlone();

private:
    QString configFolder() const;
};

QString TestIPListSettings::configFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/Corvane"_s;
}

void TestIPListSettings::init()
{
    // Each case starts from a store with no file at all.
    QDir(configFolder()).removeRecursively();
    QVERIFY(!QFileInfo::exists(configFolder()));
}

void TestIPListSettings::keyNames_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("ipKey");
    QTest::addColumn<QString>("descKey");
    QTest::newRow("first slot") << 0 << u"IP_0"_s << u"Desc_0"_s;
    QTest::newRow("one digit") << 7 << u"IP_7"_s << u"Desc_7"_s;
    QTest::newRow("no leading zero") << 10 << u"IP_10"_s << u"Desc_10"_s;
    QTest::newRow("last slot") << 99 << u"IP_99"_s << u"Desc_99"_s;
}

void TestIPListSettings::keyNames()
{
    QFETCH(int, slot);
    QTEST(IPListIPKey(slot), "ipKey");
    QTEST(IPListDescKey(slot), "descKey");
}

void TestIPListSettings::loadReadsEverySlotInOrder()
{
    putOnDisk({{u"IP_0"_s, u"10.0.0.1"_s}});
    const auto real = createSystemSettingsStore();
    RecordingSettingsStore store(*real);

    const QList<IPListEntry> entries = LoadEntries(store);

    QStringList expected;
    for (int i = 0; i < IPListSlotCount; ++i)
        expected << IPListIPKey(i) << IPListDescKey(i);
    QCOMPARE(store.reads, expected);
    QCOMPARE(entries.size(), IPListSlotCount);
    QVERIFY(store.writes.isEmpty());
}

void TestIPListSettings::load_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<QList<IPListEntry>>("expected");

    QTest::newRow("empty store gives 100 empty rows") << KeyValues() << QList<IPListEntry>(100);

    const QList<IPListEntry> ten = tenRows();
    QTest::newRow("rows 0 to 9") << storeOf(ten, 10) << ten;

    KeyValues hole = storeOf(ten, 5);
    hole.remove(u"IP_3"_s);
    QList<IPListEntry> withHole = rowsOf({{u"10.0.0.0"_s, u"host 0"_s},
                                          {u"10.0.0.1"_s, u"host 1"_s},
                                          {u"10.0.0.2"_s, u"host 2"_s},
                                          {QString(), u"host 3"_s},
                                          {u"10.0.0.4"_s, u"host 4"_s}});
    QTest::newRow("a missing IP_3 leaves a hole, later rows still read") << hole << withHole;

    QTest::newRow("last slot read too")
        << KeyValues{{u"IP_99"_s, u"10.9.9.9"_s}, {u"Desc_99"_s, u"last"_s}} << [] {
               QList<IPListEntry> rows(100);
               rows[99] = {u"10.9.9.9"_s, u"last"_s};
               return rows;
           }();

    QTest::newRow("description without an IP Number")
        << KeyValues{{u"Desc_0"_s, u"orphan"_s}} << rowsOf({{QString(), u"orphan"_s}});

    QTest::newRow("slots beyond 99 ignored")
        << KeyValues{{u"IP_100"_s, u"10.1.0.0"_s}, {u"IP_0"_s, u"10.0.0.0"_s}}
        << rowsOf({{u"10.0.0.0"_s, QString()}});
}

void TestIPListSettings::load()
{
    QFETCH(KeyValues, stored);
    QFETCH(QList<IPListEntry>, expected);
    putOnDisk(stored);
    const auto store = createSystemSettingsStore();
    const QList<IPListEntry> entries = LoadEntries(*store);
    QCOMPARE(entries.size(), IPListSlotCount);
    for (int i = 0; i < IPListSlotCount; ++i) {
        QCOMPARE(entries.at(i).ipNumber, expected.at(i).ipNumber);
        QCOMPARE(entries.at(i).description, expected.at(i).description);
    }
}

void TestIPListSettings::save_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<QList<IPListEntry>>("rows");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<KeyValues>("afterwards");

    QTest::newRow("empty list writes nothing")
        << KeyValues() << QList<IPListEntry>(100) << QStringList() << KeyValues();

    const QList<IPListEntry> ten = tenRows();
    QList<IPListEntry> five = ten;
    for (int i = 5; i < 100; ++i)
        five[i] = {};
    QTest::newRow("rows 0 to 4 give ten writes in order")
        << KeyValues() << five << expectedWrites(five, 5) << storeOf(five, 5);

    QTest::newRow("description with an empty IP Number stops at once")
        << KeyValues() << rowsOf({{QString(), u"only a description"_s}}) << QStringList()
        << KeyValues();

    QList<IPListEntry> edited = ten;
    edited[3].ipNumber.clear();
    edited[7].description = u"changed"_s;
    QTest::newRow("emptied row 3 keeps rows 3 to 9 as stored")
        << storeOf(ten, 10) << edited << expectedWrites(edited, 3) << storeOf(ten, 10);

    KeyValues hole = storeOf(ten, 5);
    hole.remove(u"IP_3"_s);
    KeyValues holeAfter = hole;
    QList<IPListEntry> holeRows = rowsOf({{u"10.0.0.0"_s, u"new 0"_s},
                                          {u"10.0.0.1"_s, u"new 1"_s},
                                          {u"10.0.0.2"_s, u"new 2"_s},
                                          {QString(), u"host 3"_s},
                                          {u"10.0.0.4"_s, u"new 4"_s}});
    for (int i = 0; i < 3; ++i)
        holeAfter[IPListDescKey(i)] = u"new %1"_s.arg(i);
    QTest::newRow("hole at IP_3 leaves IP_4 and Desc_4 alone")
        << hole << holeRows << expectedWrites(holeRows, 3) << holeAfter;

    QList<IPListEntry> blank = rowsOf({{u"10.0.0.1"_s, QString()}, {u"10.0.0.2"_s, QString()}});
    QTest::newRow("empty descriptions written as empty texts")
        << KeyValues{{u"Desc_0"_s, u"old"_s}, {u"Desc_1"_s, u"old"_s}} << blank
        << expectedWrites(blank, 2) << storeOf(blank, 2);

    QList<IPListEntry> full(100);
    for (int i = 0; i < 100; ++i)
        full[i] = {u"10.0.1.%1"_s.arg(i), u"d%1"_s.arg(i)};
    QTest::newRow("all 100 rows") << KeyValues() << full << expectedWrites(full, 100)
                                  << storeOf(full, 100);
}

void TestIPListSettings::save()
{
    QFETCH(KeyValues, stored);
    QFETCH(QList<IPListEntry>, rows);
    QFETCH(QStringList, writes);
    QFETCH(KeyValues, afterwards);
    putOnDisk(stored);

    {
        const auto real = createSystemSettingsStore();
        RecordingSettingsStore store(*real);
        QVERIFY(SaveEntries(store, rows));
        QCOMPARE(store.writes, writes);
        QVERIFY(store.reads.isEmpty());
    }
    QCOMPARE(keysOnDisk(), afterwards);
}

void TestIPListSettings::textsRoundTripExactly_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("description");
    QTest::newRow("letters") << u"not an address"_s << u"x"_s;
    QTest::newRow("leading blank") << u" 10.0.0.1"_s << u" padded "_s;
    QTest::newRow("octet above 255") << u"300.1.1.1"_s << QString();
    QTest::newRow("leading zeros stay") << u"010.000.001.254"_s << u"octal-looking"_s;
    QTest::newRow("comma list stays one text") << u"10.0.0.1, 10.0.0.2"_s << u"a, b, c"_s;
    QTest::newRow("tab inside") << u"10.0.0.1\t"_s << u"col\tumn"_s;
    QTest::newRow("ini punctuation") << u"=;#[x]"_s << u"\"quoted\" \\back"_s;
    QTest::newRow("unicode") << u"１０.0.0.1"_s << u"Zürich → 東京"_s;
    QTest::newRow("line break in description") << u"10.0.0.1"_s << u"two\nlines"_s;
}

void TestIPListSettings::textsRoundTripExactly()
{
    QFETCH(QString, ipNumber);
    QFETCH(QString, description);
    {
        const auto store = createSystemSettingsStore();
        QVERIFY(SaveEntries(*store, rowsOf({{ipNumber, description}, {u"x"_s, u"y"_s}})));
    }
    const auto store = createSystemSettingsStore();
    const QList<IPListEntry> entries = LoadEntries(*store);
    QCOMPARE(entries.at(0).ipNumber, ipNumber);
    QCOMPARE(entries.at(0).description, description);
    QCOMPARE(entries.at(1).ipNumber, u"x"_s);
}

void TestIPListSettings::failedWriteDoesNotStopTheRest()
{
    const QList<IPListEntry> rows = rowsOf({{u"a"_s, u"A"_s}, {u"b"_s, u"B"_s}, {u"c"_s, u"C"_s}});
    {
        const auto real = createSystemSettingsStore();
        RecordingSettingsStore store(*real);
        store.failingKeys = {u"Desc_1"_s};
        QVERIFY(!SaveEntries(store, rows));
        QCOMPARE(store.writes, expectedWrites(rows, 3));
        QCOMPARE(store.flushes, 1);
    }
    KeyValues expected = storeOf(rows, 3);
    expected.remove(u"Desc_1"_s);
    QCOMPARE(keysOnDisk(), expected);
}

void TestIPListSettings::unwritableStoreIsReported()
{
    // A folder where the settings file should be: no write can succeed, as
    // root too.
    QVERIFY(QDir().mkpath(configFolder() + u"/Corvane.conf"_s));

    const auto real = createSystemSettingsStore();
    RecordingSettingsStore store(*real);
    const QList<IPListEntry> rows = rowsOf({{u"a"_s, u"A"_s}, {u"b"_s, u"B"_s}});
    QVERIFY(!SaveEntries(store, rows));
    QCOMPARE(store.writes, expectedWrites(rows, 2));
    QVERIFY(!store.lastError().isEmpty());

    // An untouched empty list is no failure even there.
    RecordingSettingsStore untouched(*real);
    QVERIFY(SaveEntries(untouched, QList<IPListEntry>(100)));
    QCOMPARE(untouched.flushes, 0);
}

void TestIPListSettings::firstIPNumberReadAlone()
{
    putOnDisk({{u"IP_0"_s, u" 010.1.1.1"_s}, {u"IP_1"_s, u"other"_s}});
    const auto real = createSystemSettingsStore();
    RecordingSettingsStore store(*real);
    QCOMPARE(ReadFirstIPNumber(store), u" 010.1.1.1"_s);
    QCOMPARE(store.reads, QStringList{u"IP_0"_s});
}

QTEST_GUILESS_MAIN(TestIPListSettings)
#include "tst_iplistsettings.moc"
