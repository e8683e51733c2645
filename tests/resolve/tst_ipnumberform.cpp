#include "resolver.h"

#include <QTest>
#include <cstring>

using namespace Qt::StringLiterals;

class TestIPNumberForm : public QObject
{
    Q_OBJECT

private slots:
    void hasIPNumberForm_data();
    void hasIPNumberForm();
    void addressToIPNumber_data();
    void addressToIPNumber();
};

void TestIPNumberForm::hasIPNumberForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("four plain octets") << u"1.2.3.4"_s << true;
    QTest::newRow("octet above 255 is not range-checked") << u"300.1.1.1"_s << true;
    QTest::newRow("negative first part") << u"-1.2.3.4"_s << true;
    QTest::newRow("fourth part never examined") << u"1.2.3.x"_s << true;
    QTest::newRow("empty fourth part") << u"1.2.3."_s << true;
    QTest::newRow("two dots") << u"1.2.3"_s << false;
    QTest::newRow("four dots") << u"1.2.3.4.5"_s << false;
    QTest::newRow("leading dot gives an empty first part") << u".1.2.3"_s << false;
    QTest::newRow("first part above 16 bits") << u"40000.1.2.3"_s << false;
    QTest::newRow("letters") << u"w.x.y.z"_s << false;
    QTest::newRow("empty text") << QString() << false;
    QTest::newRow("no dot at all") << u"1234"_s << false;

    QTest::newRow("16-bit upper bound") << u"32767.0.0.0"_s << true;
    QTest::newRow("just above the upper bound") << u"32768.0.0.0"_s << false;
    QTest::newRow("16-bit lower bound") << u"-32768.0.0.0"_s << true;
    QTest::newRow("just below the lower bound") << u"-32769.0.0.0"_s << false;
    QTest::newRow("long digit run that would overflow 32 bits")
        << u"99999999999999999999.1.1.1"_s << false;
    QTest::newRow("leading zeros are still a number") << u"00000000000000000001.1.1.1"_s << true;
    QTest::newRow("plus sign") << u"+1.2.3.4"_s << true;
    QTest::newRow("sign alone") << u"-.2.3.4"_s << false;
    QTest::newRow("sign after digits") << u"1-.2.3.4"_s << false;
    QTest::newRow("third part checked") << u"1.2.x.4"_s << false;
    QTest::newRow("second part empty") << u"1..3.4"_s << false;
    QTest::newRow("blanks around a part") << u" 1 . 2 .3 .4"_s << true;
    QTest::newRow("blank only part") << u" .2.3.4"_s << false;
    QTest::newRow("blank inside a number") << u"1 0.2.3.4"_s << false;
    QTest::newRow("blank between sign and digits") << u"- 1.2.3.4"_s << false;
    QTest::newRow("tab is not a blank") << u"\t1.2.3.4"_s << false;
    QTest::newRow("hex is not decimal") << u"0x1.2.3.4"_s << false;
    QTest::newRow("non-ASCII digits are not decimal") << u"\u0661.2.3.4"_s << false;
    QTest::newRow("fourth part may hold more than a number") << u"1.2.3.4 and more"_s << true;
    QTest::newRow("many dots after three good parts")
        << (u"1.2.3."_s + QString(5000, u'.')) << false;
}

void TestIPNumberForm::hasIPNumberForm()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(hasIpNumberForm(text), expected);
}

void TestIPNumberForm::addressToIPNumber_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first byte in memory is the first octet")
        << QByteArray::fromHex("0A000001") << u"10.0.0.1"_s;
    QTest::newRow("all zero bytes") << QByteArray::fromHex("00000000") << u"0.0.0.0"_s;
    QTest::newRow("all ones") << QByteArray::fromHex("FFFFFFFF") << u"255.255.255.255"_s;
    QTest::newRow("no leading zeros or blanks")
        << QByteArray::fromHex("C0A80105") << u"192.168.1.5"_s;
    QTest::newRow("bytes above 127 are unsigned")
        << QByteArray::fromHex("80FF7F81") << u"128.255.127.129"_s;
    QTest::newRow("asymmetric bytes keep their order")
        << QByteArray::fromHex("01020304") << u"1.2.3.4"_s;
}

void TestIPNumberForm::addressToIPNumber()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(bytes.size(), 4);
    quint32 address = 0;
    std::memcpy(&address, bytes.constData(), sizeof address);
    QCOMPARE(ipNumberFromAddress(address), expected);
}

QTEST_GUILESS_MAIN(TestIPNumberForm)
#include "tst_ipnumberform.moc"
