#include "iplistsettings.h"
#include "iplisttestsupport.h"
#include "recordingsettingsstore.h"

using namespace Qt::StringLiterals;

namespace {

QList<IpListEntry> listOf(const QList<IpListEntry> &first)
{
    QList<IpListEntry> rows = first;
    rows.resize(kIpListSlotCount);
    return rows;
}

QList<IpListEntry> numbered(int count, const QString &description = u"host %1"_s)
{
    QList<IpListEntry> rows;
    for (int i = 0; i < count; ++i)
        rows.append({u"10.0.0.%1"_s.arg(i), description.arg(i)});
    return rows;
}

QStringList writesOf(const QList<IpListEntry> &rows)
{
    QStringList writes;
    for (int i = 0; i < rows.size(); ++i)
        writes << ipListIpKey(i) + u'=' + rows.at(i).ipNumber
               << ipListDescKey(i) + u'=' + rows.at(i).description;
    return writes;
}

} // namespace

class TestIpListSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(corvaneConfigFolder()).removeRecursively(); }
    void load_data();
    void load();
    void save_data();
    void save();
    void textsKeptAsTyped_data();
    void textsKeptAsTyped();
    void failedWriteDoesNotStopTheRest();
    void unwritableStoreIsReported();
};

void TestIpListSettings::load_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<QList<IpListEntry>>("expected");

    QTest::newRow("empty store gives 100 empty rows") << KeyValues() << listOf({});
    KeyValues hole = rowKeys(numbered(5));
    hole.remove(u"IP_3"_s);
    QList<IpListEntry> withHole = numbered(5);
    withHole[3].ipNumber.clear();
    QTest::newRow("missing IP_3 is an empty row, later rows still read")
        << hole << listOf(withHole);
    QList<IpListEntry> last = listOf({});
    last[99] = {u"10.9.9.9"_s, u"last"_s};
    QTest::newRow("last slot read, IP_100 not")
        << KeyValues{{u"IP_99"_s, u"10.9.9.9"_s}, {u"Desc_99"_s, u"last"_s}, {u"IP_100"_s, u"x"_s}}
        << last;
}

void TestIpListSettings::load()
{
    QFETCH(KeyValues, stored);
    putOnDisk(stored);
    const auto real = createSystemSettingsStore();
    RecordingSettingsStore store(*real);
    QTEST(loadIpList(store), "expected");
    QStringList order;
    for (int i = 0; i < kIpListSlotCount; ++i)
        order << ipListIpKey(i) << ipListDescKey(i);
    QCOMPARE(store.reads, order);
    QVERIFY(store.writes.isEmpty());
}

void TestIpListSettings::save_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<QList<IpListEntry>>("rows");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<KeyValues>("afterwards");

    QTest::newRow("empty list writes nothing")
        << KeyValues() << listOf({}) << QStringList() << KeyValues();
    QTest::newRow("rows 0 to 4 give ten writes in order")
        << KeyValues() << listOf(numbered(5)) << writesOf(numbered(5)) << rowKeys(numbered(5));
    QTest::newRow("description under an empty IP Number stops at once")
        << KeyValues() << listOf({{QString(), u"only a description"_s}}) << QStringList()
        << KeyValues();

    QList<IpListEntry> edited = listOf(numbered(10));
    edited[3].ipNumber.clear();
    edited[7].description = u"changed"_s;
    QTest::newRow("emptied row 3 keeps rows 3 to 9 as stored")
        << rowKeys(numbered(10)) << edited << writesOf(numbered(3)) << rowKeys(numbered(10));

    KeyValues hole = rowKeys(numbered(5));
    hole.remove(u"IP_3"_s);
    QList<IpListEntry> renamed = numbered(5, u"new %1"_s);
    renamed[3].ipNumber.clear();
    KeyValues holeAfter = hole;
    holeAfter.insert(rowKeys(numbered(3, u"new %1"_s)));
    QTest::newRow("hole at IP_3 leaves IP_4 and Desc_4 alone")
        << hole << listOf(renamed) << writesOf(numbered(3, u"new %1"_s)) << holeAfter;

    const QList<IpListEntry> blank = numbered(2, QString());
    QTest::newRow("empty descriptions written as empty texts")
        << rowKeys(numbered(2, u"old"_s)) << listOf(blank) << writesOf(blank) << rowKeys(blank);

    QList<IpListEntry> full;
    for (int i = 0; i < kIpListSlotCount; ++i)
        full.append({u"10.0.1.%1"_s.arg(i), u"d%1"_s.arg(i)});
    QTest::newRow("all 100 rows") << KeyValues() << full << writesOf(full) << rowKeys(full);
}

void TestIpListSettings::save()
{
    QFETCH(KeyValues, stored);
    QFETCH(QList<IpListEntry>, rows);
    putOnDisk(stored);
    {
        const auto real = createSystemSettingsStore();
        RecordingSettingsStore store(*real);
        QVERIFY(saveIpList(store, rows));
        QTEST(store.writes, "writes");
        QVERIFY(store.reads.isEmpty());
    }
    QTEST(listOnDisk(), "afterwards");
}

void TestIpListSettings::textsKeptAsTyped_data()
{
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("description");
    QTest::newRow("letters") << u"not an address"_s << u"x"_s;
    QTest::newRow("blanks around") << u" 10.0.0.1 "_s << u" padded "_s;
    QTest::newRow("octet above 255, leading zeros") << u"300.010.1.1"_s << QString();
    QTest::newRow("comma list") << u"10.0.0.1, 10.0.0.2"_s << u"a, b"_s;
    QTest::newRow("tab, line break, ini punctuation") << u"=;#[x]\t"_s << u"\"a\"\n\\b"_s;
    QTest::newRow("unicode") << u"１０.0.0.1"_s << u"Zürich → 東京"_s;
}

void TestIpListSettings::textsKeptAsTyped()
{
    QFETCH(QString, ipNumber);
    QFETCH(QString, description);
    QVERIFY(saveIpList(*createSystemSettingsStore(), listOf({{ipNumber, description}})));
    const QList<IpListEntry> entries = loadIpList(*createSystemSettingsStore());
    QCOMPARE(entries.at(0), (IpListEntry{ipNumber, description}));
}

void TestIpListSettings::failedWriteDoesNotStopTheRest()
{
    const QList<IpListEntry> rows = numbered(3);
    {
        const auto real = createSystemSettingsStore();
        RecordingSettingsStore store(*real);
        store.failingKeys = {u"Desc_1"_s};
        QVERIFY(!saveIpList(store, listOf(rows)));
        QCOMPARE(store.writes, writesOf(rows));
    }
    KeyValues expected = rowKeys(rows);
    expected.remove(u"Desc_1"_s);
    QCOMPARE(listOnDisk(), expected);
}

void TestIpListSettings::unwritableStoreIsReported()
{
    // A folder where the file should be: no write can succeed, for root too.
    QVERIFY(QDir().mkpath(corvaneConfigFolder() + u"/Corvane.conf"_s));
    const auto real = createSystemSettingsStore();
    RecordingSettingsStore store(*real);
    QVERIFY(!saveIpList(store, listOf(numbered(2))));
    QCOMPARE(store.writes, writesOf(numbered(2)));
    QVERIFY(!store.lastError().isEmpty());

    // An untouched empty list is no failure there: nothing had to be written.
    RecordingSettingsStore untouched(*real);
    QVERIFY(saveIpList(untouched, listOf({})));
    QCOMPARE(untouched.flushes, 0);
}

QTEST_GUILESS_MAIN(TestIpListSettings)
#include "tst_iplistsettings.moc"
