#include "ipnumber.h"
#include "ipv4address.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The walk over IP Number texts and the conversion of a text to an address.
// The fuzzer checks both against a model on any text; these are the rules it
// cannot see: the exact texts, stop texts that are no address, blanks.
class TestIpNumber : public QObject
{
    Q_OBJECT
private slots:
    void walk_data();
    void walk();
    void lastAddressWraps();
    void rejected();
};

void TestIpNumber::walk_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("last"); // the texts of the last addresses handled

    const auto row = [](const char *name, const QString &start, const QString &stop, int count,
                        const QStringList &last) {
        QTest::newRow(name) << start << stop << count << last;
    };
    row("carry into octet 3", u"10.0.0.254"_s, u"10.0.1.1"_s, 4,
        {u"10.0.0.254"_s, u"10.0.0.255"_s, u"10.0.1.0"_s, u"10.0.1.1"_s});
    row("carry into octet 2", u"10.0.255.255"_s, u"10.1.0.0"_s, 2,
        {u"10.0.255.255"_s, u"10.1.0.0"_s});
    row("carry into octet 1, compared by value", u"9.255.255.255"_s, u"10.0.0.0"_s, 2,
        {u"9.255.255.255"_s, u"10.0.0.0"_s});
    row("octets kept as typed until the step changes them", u"010.000.001.254"_s, u"10.0.2.1"_s, 4,
        {u"010.000.001.254"_s, u"010.000.001.255"_s, u"010.000.2.0"_s, u"010.000.2.1"_s});
    row("octets not trimmed", u" 10.0 .0. 7"_s, u"10.0.0.9"_s, 3,
        {u" 10.0 .0. 7"_s, u" 10.0 .0.8"_s, u" 10.0 .0.9"_s});
    row("padded stop is decimal", u"10.0.1.9"_s, u"010.000.001.010"_s, 2,
        {u"10.0.1.9"_s, u"10.0.1.10"_s});
    row("start equals stop", u"10.0.0.5"_s, u"10.0.0.5"_s, 1, {u"10.0.0.5"_s});
    row("stop below start", u"10.0.0.9"_s, u"10.0.0.1"_s, 1, {u"10.0.0.9"_s});
    row("last address ends the walk", u"255.255.255.250"_s, u"255.255.255.255"_s, 6,
        {u"255.255.255.254"_s, u"255.255.255.255"_s});
    // Only the start address is handled: the walk cannot step from these.
    for (const QString &start :
         {u"10.0.0.256"_s, u"10.0.0.65536"_s, QString(u"10.0.0.1"_s + QString(30, u'0')),
          u"10.0.300.1"_s, u"10.0.5"_s})
        row(qPrintable(u"start \"%1\""_s.arg(start)), start, u"10.1.0.0"_s, 1, {start});
    // A stop text that is no address is lower than every address.
    for (const QString &stop : {u""_s, u"   "_s, u"10.0.5"_s, u"10.0.0.5.7"_s, u"10.0.0.256"_s,
                                u"999999999999.0.0.1"_s, u"10.0.0.x"_s, u"10..0.1"_s})
        row(qPrintable(u"stop \"%1\""_s.arg(stop)), u"0.0.0.0"_s, stop, 1, {u"0.0.0.0"_s});
}

// The walk as a scan run drives it: the start address is handled, then the
// end tests; then split once and step until a step refuses or the tests hold.
void TestIpNumber::walk()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, count);
    QFETCH(QStringList, last);

    QStringList handled{start};
    if (!walkEnds(start, stop)) {
        OctetSlots walk;
        splitIpNumber(start, walk);
        while (handled.size() <= count && nextIpNumber(walk)) {
            handled << walk.slot[4];
            if (walkEnds(walk.slot[4], stop))
                break;
        }
    }
    QCOMPARE(handled.size(), count);
    QCOMPARE(handled.mid(count - last.size()), last);
}

// A run never steps from the last address (the end tests stop it first).
void TestIpNumber::lastAddressWraps()
{
    OctetSlots walk;
    splitIpNumber(u"255.255.255.255"_s, walk);
    QVERIFY(nextIpNumber(walk));
    QCOMPARE(walk.slot[4], u"0.0.0.0"_s);
}

// White space and NUL, which the fuzzer leaves out, make no address.
void TestIpNumber::rejected()
{
    for (const QString &text : {u" 1.2.3.4"_s, u"1.2.3.4\n"_s, u"1.2.3.4\0garbage"_s})
        QVERIFY2(!parseIPv4Address(text), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestIpNumber)
#include "tst_ipnumber.moc"
