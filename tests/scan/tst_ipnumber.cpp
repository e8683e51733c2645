#include "ipnumber.h"
#include "ipv4address.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The walk over IP Number texts and the conversion of a text to an address: what the
// fuzzer's model cannot see (octets with blanks, starts and stops that are no address).
class TestIpNumber : public QObject
{
    Q_OBJECT
private slots:
    void walk_data();
    void walk();
    void edges();
};

void TestIpNumber::walk_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QStringList>("handled");

    QTest::newRow("octets kept as typed, blanks too, until a step changes them")
        << u" 010.000 .001.254"_s << u"010.000.002.000"_s
        << QStringList{u" 010.000 .001.254"_s, u" 010.000 .001.255"_s, u" 010.000 .2.0"_s};
    for (const QString &start : {u"10.0.0.256"_s, QString(u"10.0.0.1"_s + QString(30, u'0')),
                                 u"10.0.300.1"_s, u"10.0.5"_s})
        QTest::newRow(qPrintable(u"start \"%1\" cannot step"_s.arg(start)))
            << start << u"10.1.0.0"_s << QStringList{start};
    for (const QString &stop : {u""_s, u"   "_s, u"10.0.5"_s, u"10.0.0.5.7"_s, u"10.0.0.256"_s,
                                u"999999999999.0.0.1"_s, u"10.0.0.x"_s, u"10..0.1"_s})
        QTest::newRow(qPrintable(u"stop \"%1\" is below every address"_s.arg(stop)))
            << u"0.0.0.0"_s << stop << QStringList{u"0.0.0.0"_s};
}

// As a scan run drives it: the end tests after each address, the start included.
void TestIpNumber::walk()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);

    QStringList walked{start};
    OctetSlots walk;
    splitIpNumber(start, walk);
    while (!walkEnds(walked.last(), stop) && walked.size() < 5 && nextIpNumber(walk))
        walked << walk.slot[4];
    QTEST(walked, "handled");
}

// A step from the last address wraps (a run's end tests stop it first). White space and
// NUL, which the fuzzer leaves out, make no address.
void TestIpNumber::edges()
{
    OctetSlots walk;
    splitIpNumber(u"255.255.255.255"_s, walk);
    QVERIFY(nextIpNumber(walk));
    QCOMPARE(walk.slot[4], u"0.0.0.0"_s);
    for (const QString &text : {u" 1.2.3.4"_s, u"1.2.3.4\n"_s, u"1.2.3.4\0garbage"_s})
        QVERIFY2(!parseIPv4Address(text), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestIpNumber)
#include "tst_ipnumber.moc"
