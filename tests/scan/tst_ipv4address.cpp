#include "ipv4address.h"

#include <QTest>
#include <arpa/inet.h>

using namespace Qt::StringLiterals;

class TestIPv4Address : public QObject
{
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void agreesWithInetAtonWhereNoOctalIsInvolved();
};

namespace {

constexpr quint32 ip(quint32 a, quint32 b, quint32 c, quint32 d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

} // namespace

void TestIPv4Address::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("address");

    QTest::newRow("four decimal parts") << u"192.168.1.20"_s << ip(192, 168, 1, 20);
    QTest::newRow("lowest address") << u"0.0.0.0"_s << 0u;
    QTest::newRow("all ones is an address, not an error") << u"255.255.255.255"_s << 0xFFFFFFFFu;
    QTest::newRow("leading zeros are decimal") << u"010.000.001.254"_s << ip(10, 0, 1, 254);
    QTest::newRow("eight and nine after a zero") << u"08.1.1.09"_s << ip(8, 1, 1, 9);
    QTest::newRow("many leading zeros") << u"0000000000000000000001.2.3.4"_s << ip(1, 2, 3, 4);
    QTest::newRow("zero-padded 255") << u"0255.0255.0255.0255"_s << 0xFFFFFFFFu;
    QTest::newRow("two parts: last fills 24 bits") << u"127.1"_s << ip(127, 0, 0, 1);
    QTest::newRow("two parts: largest last") << u"10.16777215"_s << ip(10, 255, 255, 255);
    QTest::newRow("three parts: last fills 16 bits") << u"172.16.258"_s << ip(172, 16, 1, 2);
    QTest::newRow("three parts: largest last") << u"1.2.65535"_s << ip(1, 2, 255, 255);
    QTest::newRow("one part: all 32 bits") << u"3232235777"_s << ip(192, 168, 1, 1);
    QTest::newRow("one part: largest") << u"4294967295"_s << 0xFFFFFFFFu;
    QTest::newRow("hex parts") << u"0x7f.0X0.0x0.0xA"_s << ip(127, 0, 0, 10);
    QTest::newRow("hex digits in both cases")
        << u"0xaB.0xCd.0xeF.0xff"_s << ip(0xAB, 0xCD, 0xEF, 0xFF);
    QTest::newRow("hex single part") << u"0xC0A80101"_s << ip(192, 168, 1, 1);
    QTest::newRow("hex with leading zeros") << u"0x0000ff.0.0.1"_s << ip(255, 0, 0, 1);
    QTest::newRow("hex and decimal mixed") << u"10.0x10.010.1"_s << ip(10, 16, 10, 1);
}

void TestIPv4Address::accepted()
{
    QFETCH(QString, text);
    QFETCH(quint32, address);

    const std::optional<quint32> parsed = parseIPv4Address(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, address);
}

void TestIPv4Address::rejected_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("five parts") << u"1.2.3.4.5"_s;
    QTest::newRow("trailing dot") << u"1.2.3.4."_s;
    QTest::newRow("leading dot") << u".1.2.3"_s;
    QTest::newRow("empty middle part") << u"1..3.4"_s;
    QTest::newRow("dot only") << u"."_s;
    QTest::newRow("octet 256") << u"1.2.3.256"_s;
    QTest::newRow("first octet 256") << u"256.1.1.1"_s;
    QTest::newRow("padded 256") << u"0256.1.1.1"_s;
    QTest::newRow("three parts: last beyond 16 bits") << u"1.2.65536"_s;
    QTest::newRow("two parts: last beyond 24 bits") << u"1.16777216"_s;
    QTest::newRow("two parts: first beyond 8 bits") << u"256.1"_s;
    QTest::newRow("one part beyond 32 bits") << u"4294967296"_s;
    QTest::newRow("digits far beyond 64 bits") << u"99999999999999999999999999999"_s;
    QTest::newRow("hex part above 255") << u"0x100.0.0.1"_s;
    QTest::newRow("hex prefix without digits") << u"0x.1.2.3"_s;
    QTest::newRow("bad hex digit") << u"0xg.1.2.3"_s;
    QTest::newRow("letters") << u"a.b.c.d"_s;
    QTest::newRow("host name") << u"localhost"_s;
    QTest::newRow("leading space") << u" 1.2.3.4"_s;
    QTest::newRow("trailing space") << u"1.2.3.4 "_s;
    QTest::newRow("trailing newline") << u"1.2.3.4\n"_s;
    QTest::newRow("space inside") << u"1.2. 3.4"_s;
    QTest::newRow("plus sign") << u"+1.2.3.4"_s;
    QTest::newRow("minus sign") << u"1.-2.3.4"_s;
    QTest::newRow("non-ASCII digits") << u"\u0661.2.3.4"_s;
    QTest::newRow("full-width digits") << u"\uFF11.2.3.4"_s;
    QTest::newRow("NUL cuts nothing short") << u"1.2.3.4\0garbage"_s;
}

void TestIPv4Address::rejected()
{
    QFETCH(QString, text);

    QCOMPARE(parseIPv4Address(text), std::nullopt);
}

// Texts without decimal leading zeros have one meaning for the system's own
// inet_aton and for us; a walk over the boundaries of every form must agree.
void TestIPv4Address::agreesWithInetAtonWhereNoOctalIsInvolved()
{
    const QList<quint64> leading{0, 1, 127, 255, 256};
    const QList<quint64> last{0,     1,        255,       256,        65535,
                              65536, 0xFFFFFF, 0x1000000, 0xFFFFFFFF, 0x100000000};
    enum Render { Decimal, Hex, Mixed };
    int compared = 0;
    for (int parts = 1; parts <= 4; ++parts) {
        QList<QList<quint64>> combos{{}};
        for (int p = 0; p < parts; ++p) {
            QList<QList<quint64>> longer;
            for (const QList<quint64> &combo : std::as_const(combos)) {
                for (quint64 v : p == parts - 1 ? last : leading)
                    longer.append(combo + QList<quint64>{v});
            }
            combos = longer;
        }
        for (const QList<quint64> &combo : std::as_const(combos)) {
            for (Render render : {Decimal, Hex, Mixed}) {
                QStringList texts;
                for (qsizetype p = 0; p < combo.size(); ++p) {
                    const bool hex = render == Hex || (render == Mixed && p % 2 == 1);
                    texts << (hex ? u"0x"_s + QString::number(combo[p], 16)
                                  : QString::number(combo[p]));
                }
                const QString text = texts.join(u'.');
                in_addr theirs{};
                const bool theyAccept = inet_aton(text.toLatin1().constData(), &theirs) != 0;
                const std::optional<quint32> ours = parseIPv4Address(text);
                QVERIFY2(ours.has_value() == theyAccept, qPrintable(text));
                if (theyAccept)
                    QVERIFY2(*ours == ntohl(theirs.s_addr), qPrintable(text));
                ++compared;
            }
        }
    }
    QCOMPARE(compared, 3 * (10 + 5 * 10 + 25 * 10 + 125 * 10));
}

QTEST_GUILESS_MAIN(TestIPv4Address)
#include "tst_ipv4address.moc"
