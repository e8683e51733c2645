#include "reporttext.h"
#include "resultline.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestReportText : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void threeEntriesGiveSixLineBreaks();
    void countLineIsNotLimitedToSixteenBits_data();
    void countLineIsNotLimitedToSixteenBits();
    void copyStatus_data();
    void copyStatus();
    void expandTabs_data();
    void expandTabs();
    void domainColumn_data();
    void domainColumn();
};

static const QDateTime ReportTime(QDate(2026, 12, 5), QTime(3, 11, 42));

void TestReportText::reportText_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty list: date, two empty lines, zero count")
        << QStringList() << u"12/05/26 03:11 am\r\n\r\n\r\n0 IP Numbers"_s;
    QTest::newRow("one entry: singular count keeps the plural word")
        << QStringList{u"10.0.0.1\t12/05/26 03:10:00 am"_s}
        << u"12/05/26 03:11 am\r\n\r\n10.0.0.1\t12/05/26 03:10:00 am\r\n\r\n1 IP Numbers"_s;
    QTest::newRow("tabs and empty name column kept as they are")
        << QStringList{u"10.0.0.1\t\t12/05/26 03:10:00 am"_s, u"10.0.0.2\thost.example\tx"_s}
        << u"12/05/26 03:11 am\r\n\r\n10.0.0.1\t\t12/05/26 03:10:00 am\r\n"
           u"10.0.0.2\thost.example\tx\r\n\r\n2 IP Numbers"_s;
    QTest::newRow("entries in list order, an empty entry kept")
        << QStringList{u"b"_s, QString(), u"a"_s}
        << u"12/05/26 03:11 am\r\n\r\nb\r\n\r\na\r\n\r\n3 IP Numbers"_s;
    QTest::newRow("non-ASCII entry text unchanged")
        << QStringList{u"10.0.0.9\tm\u00fcnchen.example"_s}
        << u"12/05/26 03:11 am\r\n\r\n10.0.0.9\tm\u00fcnchen.example\r\n\r\n1 IP Numbers"_s;
}

void TestReportText::reportText()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);
    QCOMPARE(buildReportText(entries, ReportTime), expected);
}

void TestReportText::threeEntriesGiveSixLineBreaks()
{
    const QString text = buildReportText({u"a"_s, u"b"_s, u"c"_s}, ReportTime);
    QCOMPARE(text.count(u"\r\n"_s), 6);
    QCOMPARE(text.count(u'\r'), 6);
    QCOMPARE(text.count(u'\n'), 6);
    QVERIFY(text.endsWith(u"\r\n3 IP Numbers"_s));
}

void TestReportText::countLineIsNotLimitedToSixteenBits_data()
{
    QTest::addColumn<int>("entryCount");
    QTest::newRow("largest signed 16-bit count") << 32767;
    QTest::newRow("one past the signed 16-bit count") << 32768;
    QTest::newRow("one past the unsigned 16-bit count") << 65536;
    QTest::newRow("a hundred thousand lines") << 100000;
}

void TestReportText::countLineIsNotLimitedToSixteenBits()
{
    QFETCH(int, entryCount);
    const QString entry = u"192.168.100.200\t12/05/26 03:10:00 am"_s;
    const QStringList entries(entryCount, entry);
    const QString text = buildReportText(entries, ReportTime);

    const QString countLine = QString::number(entryCount) + u" IP Numbers"_s;
    QVERIFY(text.endsWith(u"\r\n\r\n"_s + countLine));
    const qsizetype expectedLength =
        17 + 4 + entryCount * (entry.size() + 2) + 2 + countLine.size();
    QCOMPARE(text.size(), expectedLength);
    QCOMPARE(copyStatusText(text.size()),
             QString::number(expectedLength) + u" bytes copied to the clipboard."_s);
}

void TestReportText::copyStatus_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<QString>("expected");
    QTest::newRow("59 characters") << qsizetype(59) << u"59 bytes copied to the clipboard."_s;
    QTest::newRow("no grouping of thousands")
        << qsizetype(1234567) << u"1234567 bytes copied to the clipboard."_s;
    QTest::newRow("beyond 32 bits")
        << qsizetype(5'000'000'000) << u"5000000000 bytes copied to the clipboard."_s;
}

void TestReportText::copyStatus()
{
    QFETCH(qsizetype, length);
    QFETCH(QString, expected);
    QCOMPARE(copyStatusText(length), expected);
}

void TestReportText::expandTabs_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no tab: unchanged") << u"10.0.0.1"_s << u"10.0.0.1"_s;
    QTest::newRow("tab moves to the next stop") << u"10.0.0.1\tx"_s << u"10.0.0.1        x"_s;
    QTest::newRow("tab right at a stop is a full stop") << u"1234567\tx"_s << u"1234567 x"_s;
    QTest::newRow("two tabs in a row") << u"a\t\tb"_s << u"a               b"_s;
    QTest::newRow("leading and trailing tab") << u"\ta\t"_s << u"        a       "_s;
}

void TestReportText::expandTabs()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(::expandTabs(line), expected);
}

void TestReportText::domainColumn_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("domain");
    QTest::newRow("ping with names: the middle column")
        << u"10.0.0.5\thost.example\t12/05/26 03:26:08 pm"_s << u"host.example"_s;
    QTest::newRow("ping with names, no name found: empty")
        << u"10.0.0.5\t\t12/05/26 03:26:08 pm"_s << QString();
    QTest::newRow("get domain line: everything after the tab")
        << u"10.0.0.5\thost.example"_s << u"host.example"_s;
    QTest::newRow("no tab: the whole line") << u"host.example"_s << u"host.example"_s;
    QTest::newRow("empty line") << QString() << QString();
    QTest::newRow("further columns are cut off")
        << u"10.0.0.5\ta.example\tb\tc"_s << u"a.example"_s;
    QTest::newRow("blanks and shell characters kept")
        << u"10.0.0.5\ta b;$(id)`x`\tstamp"_s << u"a b;$(id)`x`"_s;
    QTest::newRow("leading tab: the first column is empty")
        << u"\thost.example\tstamp"_s << u"host.example"_s;
    QTest::newRow("trailing tab after the ip") << u"10.0.0.5\t"_s << QString();
}

void TestReportText::domainColumn()
{
    QFETCH(QString, line);
    QFETCH(QString, domain);
    QCOMPARE(domainFromResultLine(line), domain);
}

QTEST_GUILESS_MAIN(TestReportText)
#include "tst_reporttext.moc"
