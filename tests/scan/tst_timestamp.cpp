#include "timestamp.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTimeStamp : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void format_data();
    void format();
    void sameInEveryLocale_data();
    void sameInEveryLocale();
    void invalidGivesEmptyText();
};

void TestTimeStamp::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestTimeStamp::format_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QString>("reportDate");

    const auto at = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    };
    QTest::newRow("afternoon") << at(2026, 12, 5, 15, 26, 8) << u"12/05/26 03:26:08 pm"_s
                               << u"12/05/26 03:26 pm"_s;
    QTest::newRow("midnight is 12 am")
        << at(2026, 1, 1, 0, 0, 0) << u"01/01/26 12:00:00 am"_s << u"01/01/26 12:00 am"_s;
    QTest::newRow("last minute of the 12 am hour")
        << at(2026, 1, 1, 0, 59, 59) << u"01/01/26 12:59:59 am"_s << u"01/01/26 12:59 am"_s;
    QTest::newRow("1 am") << at(2026, 3, 9, 1, 2, 3) << u"03/09/26 01:02:03 am"_s
                          << u"03/09/26 01:02 am"_s;
    QTest::newRow("just before noon")
        << at(2026, 7, 4, 11, 59, 59) << u"07/04/26 11:59:59 am"_s << u"07/04/26 11:59 am"_s;
    QTest::newRow("noon is 12 pm")
        << at(2026, 7, 4, 12, 0, 0) << u"07/04/26 12:00:00 pm"_s << u"07/04/26 12:00 pm"_s;
    QTest::newRow("1 pm") << at(2026, 7, 4, 13, 0, 1) << u"07/04/26 01:00:01 pm"_s
                          << u"07/04/26 01:00 pm"_s;
    QTest::newRow("last second of the day")
        << at(2026, 12, 31, 23, 59, 59) << u"12/31/26 11:59:59 pm"_s << u"12/31/26 11:59 pm"_s;
    QTest::newRow("year 2000 is 00")
        << at(2000, 2, 29, 9, 5, 7) << u"02/29/00 09:05:07 am"_s << u"02/29/00 09:05 am"_s;
    QTest::newRow("year 1999 is 99")
        << at(1999, 10, 10, 22, 10, 10) << u"10/10/99 10:10:10 pm"_s << u"10/10/99 10:10 pm"_s;
}

void TestTimeStamp::format()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, stamp);
    QFETCH(QString, reportDate);

    QCOMPARE(formatTimeStamp(when), stamp);
    QCOMPARE(formatReportDate(when), reportDate);
}

void TestTimeStamp::sameInEveryLocale_data()
{
    QTest::addColumn<QLocale>("locale");

    QTest::newRow("German: no am/pm words") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("Chinese: words before the time") << QLocale(QLocale::Chinese, QLocale::China);
    QTest::newRow("Arabic: other digits") << QLocale(QLocale::Arabic, QLocale::Egypt);
    QTest::newRow("US English: upper case AM/PM")
        << QLocale(QLocale::English, QLocale::UnitedStates);
}

void TestTimeStamp::sameInEveryLocale()
{
    QFETCH(QLocale, locale);

    QLocale::setDefault(locale);
    const QDateTime when(QDate(2026, 5, 12), QTime(0, 7, 9));
    QCOMPARE(formatTimeStamp(when), u"05/12/26 12:07:09 am"_s);
    QCOMPARE(formatReportDate(when.addSecs(13 * 3600)), u"05/12/26 01:07 pm"_s);
}

void TestTimeStamp::invalidGivesEmptyText()
{
    QCOMPARE(formatTimeStamp(QDateTime()), QString());
    QCOMPARE(formatReportDate(QDateTime()), QString());
}

QTEST_GUILESS_MAIN(TestTimeStamp)
#include "tst_timestamp.moc"
