#include "ipnumber.h"
#include "ipv4address.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The IP Number text: its walk and its conversion to an address. The fuzzers
// check both against a model on any text; these are the named edge cases.
class TestIpNumber : public QObject
{
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void step_data();
    void step();
    void reached_data();
    void reached();
    void lastAddress();
    void walk_data();
    void walk();
    void parse_data();
    void parse();
};

namespace {

// The walk as a scan run drives it: the start address is handled, then the end
// tests; then split once and step until a step refuses or the end tests hold.
QStringList walkAddresses(const QString &start, const QString &stop)
{
    QStringList handled{start};
    if (walkEnds(start, stop))
        return handled;
    OctetSlots walk;
    splitIpNumber(start, walk);
    while (handled.size() <= (1 << 20) && nextIpNumber(walk)) {
        handled << walk.slot[4];
        if (walkEnds(walk.slot[4], stop))
            break;
    }
    return handled;
}

} // namespace

void TestIpNumber::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("octets");
    QTest::addColumn<int>("walkCounter");

    QTest::newRow("leading zeros kept as typed")
        << u"010.000.001.0254"_s << QStringList{u"010"_s, u"000"_s, u"001"_s, u"0254"_s} << 254;
    QTest::newRow("octets not trimmed")
        << u" 1.2 .3. 7"_s << QStringList{u" 1"_s, u"2 "_s, u"3"_s, u" 7"_s} << 7;
    QTest::newRow("dots after the third belong to octet 4")
        << u"1.2.3.4.5"_s << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4.5"_s} << 4;
    QTest::newRow("non-numeric fourth octet counts 0")
        << u"10.0.0.x"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"x"_s} << 0;
    // A counter of 256 ends the walk after the start: the step refuses.
    QTest::newRow("fourth octet 256")
        << u"10.0.0.256"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"256"_s} << 256;
    QTest::newRow("fourth octet beyond 16 bits")
        << u"10.0.0.65536"_s << QStringList{u"10"_s, u"0"_s, u"0"_s, u"65536"_s} << 256;
    QTest::newRow("fourth octet of 30 digits")
        << u"10.0.0.999999999999999999999999999999"_s
        << QStringList{u"10"_s, u"0"_s, u"0"_s, u"999999999999999999999999999999"_s} << 256;
    QTest::newRow("third octet 256")
        << u"10.0.256.1"_s << QStringList{u"10"_s, u"0"_s, u"256"_s, u"1"_s} << 256;
    QTest::newRow("two dots") << u"10.0.5"_s << QStringList{u"10"_s, u"0"_s, u"5"_s, QString()}
                              << 256;
    QTest::newRow("empty text") << QString() << QStringList{{}, {}, {}, {}} << 256;
}

void TestIpNumber::split()
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
    if (walkCounter == 256) {
        QVERIFY(!nextIpNumber(walk));
        QVERIFY(!nextIpNumber(walk));
        QCOMPARE(QStringList(std::begin(walk.slot), std::begin(walk.slot) + 4), octets);
        QCOMPARE(walk.slot[4], text);
        QCOMPARE(int(walk.walkCounter), 256);
    }
}

void TestIpNumber::step_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("walkCounter");

    QTest::newRow("one more digit") << u"10.0.0.9"_s << 1 << u"10.0.0.10"_s << 10;
    QTest::newRow("carry into octet 1") << u"9.255.255.255"_s << 1 << u"10.0.0.0"_s << 0;
    QTest::newRow("last address wraps to first") << u"255.255.255.255"_s << 1 << u"0.0.0.0"_s << 0;
    QTest::newRow("carried octet rewritten, others kept")
        << u"010.000.001.254"_s << 2 << u"010.000.2.0"_s << 0;
    QTest::newRow("padded 255 carries by value")
        << u"0255.0255.0255.0255"_s << 1 << u"0.0.0.0"_s << 0;
    QTest::newRow("non-numeric octet 3 carries as 0")
        << u"10.x.255.255"_s << 1 << u"10.1.0.0"_s << 0;
    QTest::newRow("extra dots dropped by the step") << u"1.2.3.4.5"_s << 1 << u"1.2.3.5"_s << 5;
}

void TestIpNumber::step()
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

void TestIpNumber::reached_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<bool>("reached");

    QTest::newRow("equal") << u"10.0.0.5"_s << u"10.0.0.5"_s << true;
    QTest::newRow("below") << u"10.0.0.4"_s << u"10.0.0.5"_s << false;
    QTest::newRow("octets compared by value, not as text")
        << u"9.0.0.0"_s << u"10.0.0.0"_s << false;
    QTest::newRow("higher octet decides") << u"10.0.1.0"_s << u"10.0.0.255"_s << true;
    QTest::newRow("padded stop is decimal") << u"10.0.1.9"_s << u"010.000.001.010"_s << false;
    QTest::newRow("spaces around the stop are allowed")
        << u"10.0.0.4"_s << u" 10.0.0.5 "_s << false;
    // A stop text that is no address is lower than every address.
    QTest::newRow("empty stop") << u"10.0.0.1"_s << QString() << true;
    QTest::newRow("blank stop") << u"0.0.0.0"_s << u"   "_s << true;
    QTest::newRow("stop with two dots") << u"0.0.0.0"_s << u"10.0.5"_s << true;
    QTest::newRow("stop with four dots") << u"0.0.0.0"_s << u"10.0.0.5.7"_s << true;
    QTest::newRow("stop octet 256") << u"0.0.0.0"_s << u"10.0.0.256"_s << true;
    QTest::newRow("stop octet far too big") << u"0.0.0.0"_s << u"999999999999.0.0.1"_s << true;
    QTest::newRow("stop with a letter") << u"0.0.0.0"_s << u"10.0.0.x"_s << true;
    QTest::newRow("huge current octet is beyond")
        << u"10.0.0.99999999999"_s << u"10.0.0.255"_s << true;
    QTest::newRow("huge current octet below higher octet")
        << u"10.0.0.99999999999"_s << u"10.0.1.0"_s << false;
}

void TestIpNumber::reached()
{
    QFETCH(QString, current);
    QFETCH(QString, stop);
    QFETCH(bool, reached);

    QCOMPARE(ipNumberReached(current, stop), reached);
}

void TestIpNumber::lastAddress()
{
    QVERIFY(isLastIpNumber(u"255.255.255.255"_s));
    QVERIFY(!isLastIpNumber(u"255.255.255.255 "_s));
    QVERIFY(!isLastIpNumber(u"255.255.255.254"_s));
}

void TestIpNumber::walk_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");

    QTest::newRow("crosses into the next octet 3")
        << u"10.0.0.250"_s << u"10.0.1.5"_s << 12 << u"10.0.1.5"_s;
    QTest::newRow("start equals stop")
        << u"192.168.1.1"_s << u"192.168.1.1"_s << 1 << u"192.168.1.1"_s;
    QTest::newRow("stop below start")
        << u"192.168.1.9"_s << u"192.168.1.1"_s << 1 << u"192.168.1.9"_s;
    QTest::newRow("malformed stop") << u"192.168.1.1"_s << u"192.168.2"_s << 1 << u"192.168.1.1"_s;
    QTest::newRow("start octet 4 is 256")
        << u"10.0.0.256"_s << u"10.0.1.5"_s << 1 << u"10.0.0.256"_s;
    QTest::newRow("start octet 3 above 255")
        << u"10.0.300.1"_s << u"10.1.0.0"_s << 1 << u"10.0.300.1"_s;
    QTest::newRow("ends at last address by reach")
        << u"255.255.255.250"_s << u"255.255.255.255"_s << 6 << u"255.255.255.255"_s;
    QTest::newRow("last address as start")
        << u"255.255.255.255"_s << u"255.255.255.255"_s << 1 << u"255.255.255.255"_s;
    QTest::newRow("padded last address ends by reach")
        << u"0255.255.255.250"_s << u"255.255.255.255"_s << 6 << u"0255.255.255.255"_s;
    QTest::newRow("padded start keeps its octets")
        << u"010.000.001.254"_s << u"10.0.2.1"_s << 4 << u"010.000.2.1"_s;
    QTest::newRow("non-numeric fourth octet walks from 0")
        << u"10.0.0.x"_s << u"10.0.0.3"_s << 4 << u"10.0.0.3"_s;
    QTest::newRow("two full octets") << u"0.0.0.0"_s << u"0.1.0.0"_s << 65537 << u"0.1.0.0"_s;
}

void TestIpNumber::walk()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, count);
    QFETCH(QString, last);

    const QStringList handled = walkAddresses(start, stop);
    QCOMPARE(handled.size(), count);
    QCOMPARE(handled.first(), start);
    QCOMPARE(handled.last(), last);
    // Every step is one address on.
    for (qsizetype i = 2; i < handled.size(); ++i) {
        const auto previous = parseIPv4Address(handled[i - 1]);
        QVERIFY2(previous && parseIPv4Address(handled[i]) == *previous + 1, qPrintable(handled[i]));
    }
}

void TestIpNumber::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<quint32>>("address");

    const std::optional<quint32> none;
    QTest::newRow("four decimal parts") << u"192.168.1.20"_s << std::optional(0xc0a80114u);
    QTest::newRow("all ones is an address") << u"255.255.255.255"_s << std::optional(0xffffffffu);
    QTest::newRow("leading zeros are decimal")
        << u"010.000.001.254"_s << std::optional(0x0a0001feu);
    QTest::newRow("eight and nine after a zero") << u"08.1.1.09"_s << std::optional(0x08010109u);
    QTest::newRow("zero-padded 255") << u"0255.0255.0255.0255"_s << std::optional(0xffffffffu);
    QTest::newRow("two parts: largest last") << u"10.16777215"_s << std::optional(0x0affffffu);
    QTest::newRow("hex and decimal mixed") << u"10.0x10.010.1"_s << std::optional(0x0a100a01u);
    QTest::newRow("padded 256") << u"0256.1.1.1"_s << none;
    QTest::newRow("three parts: last beyond 16 bits") << u"1.2.65536"_s << none;
    QTest::newRow("one part beyond 32 bits") << u"4294967296"_s << none;
    QTest::newRow("digits far beyond 64 bits") << u"99999999999999999999999999999"_s << none;
    QTest::newRow("trailing dot") << u"1.2.3.4."_s << none;
    QTest::newRow("five parts") << u"1.2.3.4.5"_s << none;
    QTest::newRow("leading space") << u" 1.2.3.4"_s << none;
    QTest::newRow("trailing newline") << u"1.2.3.4\n"_s << none;
    QTest::newRow("space inside") << u"1.2. 3.4"_s << none;
    QTest::newRow("non-ASCII digits") << u"\u0661.2.3.4"_s << none;
    QTest::newRow("NUL cuts nothing short") << u"1.2.3.4\0garbage"_s << none;
}

void TestIpNumber::parse()
{
    QFETCH(QString, text);
    QFETCH(std::optional<quint32>, address);

    QCOMPARE(parseIPv4Address(text), address);
}

QTEST_GUILESS_MAIN(TestIpNumber)
#include "tst_ipnumber.moc"
