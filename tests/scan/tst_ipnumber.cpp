#include "ipnumber.h"
#include "ipv4address.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestIPNumber : public QObject
{
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void step_data();
    void step();
    void stepRefusedLeavesSlotsAlone_data();
    void stepRefusedLeavesSlotsAlone();
    void reached_data();
    void reached();
    void lastAddress_data();
    void lastAddress();
    void walkThroughRange_data();
    void walkThroughRange();
    void everyStepIsOneAddressOn_data();
    void everyStepIsOneAddressOn();
};

namespace {

// The walk as a scan run drives it: the start address is handled, then the end
// tests; then split once and step until a step refuses or the end tests hold.
// Bounded, so a walk that would not end fails instead of hanging.
QStringList walkAddresses(const QString &start, const QString &stop, qsizetype bound = 1 << 20)
{
    QStringList handled{start};
    if (walkEnds(start, stop))
        return handled;
    OctetSlots walk;
    splitIpNumber(start, walk);
    while (handled.size() <= bound && nextIpNumber(walk)) {
        handled << walk.slot[4];
        if (walkEnds(walk.slot[4], stop))
            break;
    }
    return handled;
}

} // namespace

void TestIPNumber::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("octets");
    QTest::addColumn<int>("walkCounter");

    QTest::newRow("plain address")
        << u"192.168.1.20"_s << QStringList{u"192"_s, u"168"_s, u"1"_s, u"20"_s} << 20;
    QTest::newRow("leading zeros kept as typed")
        << u"010.000.001.254"_s << QStringList{u"010"_s, u"000"_s, u"001"_s, u"254"_s} << 254;
    QTest::newRow("padded 255 counts 255")
        << u"1.2.3.0255"_s << QStringList{u"1"_s, u"2"_s, u"3"_s, u"0255"_s} << 255;
    QTest::newRow("octets not trimmed")
        << u" 1.2 .3. 7"_s << QStringList{u" 1"_s, u"2 "_s, u"3"_s, u" 7"_s} << 7;
    QTest::newRow("dots after the third belong to octet 4")
        << u"1.2.3.4.5"_s << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4.5"_s} << 4;
    QTest::newRow("non-numeric fourth octet counts 0")
        << u"10.0.0.x"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"x"_s} << 0;
    QTest::newRow("fourth octet 256 ends the walk")
        << u"10.0.0.256"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"256"_s} << 256;
    QTest::newRow("fourth octet beyond 16 bits")
        << u"10.0.0.65536"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"65536"_s} << 256;
    QTest::newRow("fourth octet of 30 digits")
        << u"10.0.0.999999999999999999999999999999"_s
        << QStringList{u"10"_s, u"0"_s, u"0"_s, u"999999999999999999999999999999"_s} << 256;
    QTest::newRow("third octet above 255 ends the walk")
        << u"10.0.300.1"_s << QStringList{u"10"_s, u"0"_s, u"300"_s, u"1"_s} << 256;
    QTest::newRow("two dots end the walk")
        << u"10.0.5"_s << QStringList{u"10"_s, u"0"_s, u"5"_s, QString()} << 256;
    QTest::newRow("empty text ends the walk") << QString() << QStringList{{}, {}, {}, {}} << 256;
}

void TestIPNumber::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, octets);
    QFETCH(int, walkCounter);

    OctetSlots walk;
    walk.walkCounter = 77;
    splitIpNumber(text, walk);
    QCOMPARE(QStringList(std::begin(walk.slot), std::begin(walk.slot) + 4), octets);
    QCOMPARE(walk.slot[4], text);
    QCOMPARE(int(walk.walkCounter), walkCounter);
}

void TestIPNumber::step_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("walkCounter");

    QTest::newRow("one more digit") << u"10.0.0.9"_s << 1 << u"10.0.0.10"_s << 10;
    QTest::newRow("carry into octet 3") << u"10.0.0.255"_s << 1 << u"10.0.1.0"_s << 0;
    QTest::newRow("carry into octet 2") << u"10.0.255.255"_s << 1 << u"10.1.0.0"_s << 0;
    QTest::newRow("carry into octet 1") << u"9.255.255.255"_s << 1 << u"10.0.0.0"_s << 0;
    QTest::newRow("last address wraps to first") << u"255.255.255.255"_s << 1 << u"0.0.0.0"_s << 0;
    QTest::newRow("padded octets stay as typed")
        << u"010.000.001.254"_s << 1 << u"010.000.001.255"_s << 255;
    QTest::newRow("carried octet rewritten, others kept")
        << u"010.000.001.254"_s << 2 << u"010.000.2.0"_s << 0;
    QTest::newRow("padded 255 carries by value")
        << u"0255.0255.0255.0255"_s << 1 << u"0.0.0.0"_s << 0;
    QTest::newRow("padded octet 3 carries on") << u"1.2.0255.255"_s << 1 << u"1.3.0.0"_s << 0;
    QTest::newRow("non-numeric octet 3 carries as 0")
        << u"10.x.255.255"_s << 1 << u"10.1.0.0"_s << 0;
    QTest::newRow("non-numeric octet 4 steps from 0") << u"10.0.0.x"_s << 1 << u"10.0.0.1"_s << 1;
    QTest::newRow("extra dots dropped by the step") << u"1.2.3.4.5"_s << 1 << u"1.2.3.5"_s << 5;
}

void TestIPNumber::step()
{
    QFETCH(QString, start);
    QFETCH(int, steps);
    QFETCH(QString, expected);
    QFETCH(int, walkCounter);

    OctetSlots walk;
    splitIpNumber(start, walk);
    for (int i = 0; i < steps; ++i)
        QVERIFY(nextIpNumber(walk));
    QCOMPARE(walk.slot[4], expected);
    QCOMPARE(QStringList(std::begin(walk.slot), std::begin(walk.slot) + 4).join(u'.'), expected);
    QCOMPARE(int(walk.walkCounter), walkCounter);
}

void TestIPNumber::stepRefusedLeavesSlotsAlone_data()
{
    QTest::addColumn<QString>("start");

    QTest::newRow("fourth octet 256") << u"10.0.0.256"_s;
    QTest::newRow("third octet 256") << u"10.0.256.1"_s;
    QTest::newRow("two dots") << u"10.0.5"_s;
    QTest::newRow("empty") << QString();
}

void TestIPNumber::stepRefusedLeavesSlotsAlone()
{
    QFETCH(QString, start);

    OctetSlots walk;
    splitIpNumber(start, walk);
    const OctetSlots before = walk;
    QVERIFY(!nextIpNumber(walk));
    QVERIFY(!nextIpNumber(walk));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(walk.slot[i], before.slot[i]);
    QCOMPARE(walk.walkCounter, before.walkCounter);
}

void TestIPNumber::reached_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<bool>("reached");

    QTest::newRow("equal") << u"10.0.0.5"_s << u"10.0.0.5"_s << true;
    QTest::newRow("below") << u"10.0.0.4"_s << u"10.0.0.5"_s << false;
    QTest::newRow("beyond") << u"10.0.0.6"_s << u"10.0.0.5"_s << true;
    QTest::newRow("octets compared by value, not as text")
        << u"9.0.0.0"_s << u"10.0.0.0"_s << false;
    QTest::newRow("higher octet decides") << u"10.0.1.0"_s << u"10.0.0.255"_s << true;
    QTest::newRow("lower octet decides") << u"10.0.0.255"_s << u"10.0.1.0"_s << false;
    QTest::newRow("padded current equals plain stop")
        << u"010.000.001.005"_s << u"10.0.1.5"_s << true;
    QTest::newRow("padded stop is decimal") << u"10.0.1.9"_s << u"010.000.001.010"_s << false;
    QTest::newRow("last address reaches last")
        << u"255.255.255.255"_s << u"255.255.255.255"_s << true;
    QTest::newRow("empty stop is lowest") << u"10.0.0.1"_s << QString() << true;
    QTest::newRow("blank stop is lowest") << u"0.0.0.0"_s << u"   "_s << true;
    QTest::newRow("stop with two dots is lowest") << u"0.0.0.0"_s << u"10.0.5"_s << true;
    QTest::newRow("stop with four dots is lowest") << u"0.0.0.0"_s << u"10.0.0.5.7"_s << true;
    QTest::newRow("stop octet 256 is lowest") << u"0.0.0.0"_s << u"10.0.0.256"_s << true;
    QTest::newRow("stop octet far too big is lowest")
        << u"0.0.0.0"_s << u"999999999999.0.0.1"_s << true;
    QTest::newRow("stop with a letter is lowest") << u"0.0.0.0"_s << u"10.0.0.x"_s << true;
    QTest::newRow("spaces around the stop are allowed")
        << u"10.0.0.4"_s << u" 10.0.0.5 "_s << false;
    QTest::newRow("huge current octet is beyond")
        << u"10.0.0.99999999999"_s << u"10.0.0.255"_s << true;
    QTest::newRow("huge current octet below higher octet")
        << u"10.0.0.99999999999"_s << u"10.0.1.0"_s << false;
}

void TestIPNumber::reached()
{
    QFETCH(QString, current);
    QFETCH(QString, stop);
    QFETCH(bool, reached);

    QCOMPARE(ipNumberReached(current, stop), reached);
}

void TestIPNumber::lastAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("last");

    QTest::newRow("last") << u"255.255.255.255"_s << true;
    QTest::newRow("trailing space is not the same text") << u"255.255.255.255 "_s << false;
    QTest::newRow("one below") << u"255.255.255.254"_s << false;
}

void TestIPNumber::lastAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, last);

    QCOMPARE(isLastIpNumber(text), last);
}

void TestIPNumber::walkThroughRange_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");

    QTest::newRow("crosses into the next octet 3")
        << u"10.0.0.250"_s << u"10.0.1.5"_s << 12 << u"10.0.1.5"_s;
    QTest::newRow("twenty addresses")
        << u"192.168.1.1"_s << u"192.168.1.20"_s << 20 << u"192.168.1.20"_s;
    QTest::newRow("start equals stop")
        << u"192.168.1.1"_s << u"192.168.1.1"_s << 1 << u"192.168.1.1"_s;
    QTest::newRow("stop below start")
        << u"192.168.1.9"_s << u"192.168.1.1"_s << 1 << u"192.168.1.9"_s;
    QTest::newRow("blank stop") << u"192.168.1.1"_s << u" "_s << 1 << u"192.168.1.1"_s;
    QTest::newRow("malformed stop") << u"192.168.1.1"_s << u"192.168.2"_s << 1 << u"192.168.1.1"_s;
    QTest::newRow("start octet 4 is 256")
        << u"10.0.0.256"_s << u"10.0.1.5"_s << 1 << u"10.0.0.256"_s;
    QTest::newRow("start with two dots") << u"10.0.5"_s << u"10.0.1.5"_s << 1 << u"10.0.5"_s;
    QTest::newRow("start octet 3 above 255")
        << u"10.0.300.1"_s << u"10.1.0.0"_s << 1 << u"10.0.300.1"_s;
    QTest::newRow("ends at last address by reach")
        << u"255.255.255.250"_s << u"255.255.255.255"_s << 6 << u"255.255.255.255"_s;
    QTest::newRow("ends at last address by text")
        << u"255.255.255.253"_s << u"255.255.255.255"_s << 3 << u"255.255.255.255"_s;
    QTest::newRow("last address as start")
        << u"255.255.255.255"_s << u"255.255.255.255"_s << 1 << u"255.255.255.255"_s;
    QTest::newRow("padded last address ends by reach")
        << u"0255.255.255.250"_s << u"255.255.255.255"_s << 6 << u"0255.255.255.255"_s;
    QTest::newRow("padded start keeps its octets")
        << u"010.000.001.254"_s << u"10.0.2.1"_s << 4 << u"010.000.2.1"_s;
    QTest::newRow("carry through two octets")
        << u"10.255.255.254"_s << u"11.0.0.1"_s << 4 << u"11.0.0.1"_s;
    QTest::newRow("non-numeric fourth octet walks from 0")
        << u"10.0.0.x"_s << u"10.0.0.3"_s << 4 << u"10.0.0.3"_s;
}

void TestIPNumber::walkThroughRange()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, count);
    QFETCH(QString, last);

    const QStringList handled = walkAddresses(start, stop);
    QCOMPARE(handled.size(), count);
    QCOMPARE(handled.first(), start);
    QCOMPARE(handled.last(), last);
}

void TestIPNumber::everyStepIsOneAddressOn_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("count");

    QTest::newRow("two full octets") << u"0.0.0.0"_s << u"0.1.0.0"_s << 65537;
    QTest::newRow("top of the range") << u"255.254.255.0"_s << u"255.255.255.255"_s << 65792;
    QTest::newRow("padded start") << u"001.002.0255.0200"_s << u"1.3.1.0"_s << 313;
}

// Catches carry faults anywhere: each address must be its predecessor plus one.
void TestIPNumber::everyStepIsOneAddressOn()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, count);

    const QStringList handled = walkAddresses(start, stop);
    QCOMPARE(handled.size(), count);
    std::optional<quint32> previous = parseIPv4Address(handled.first());
    QVERIFY(previous);
    for (qsizetype i = 1; i < handled.size(); ++i) {
        const std::optional<quint32> address = parseIPv4Address(handled[i]);
        QVERIFY2(address && *address == *previous + 1, qPrintable(handled[i]));
        previous = address;
    }
    QCOMPARE(*previous, *parseIPv4Address(stop));
}

QTEST_GUILESS_MAIN(TestIPNumber)
#include "tst_ipnumber.moc"
