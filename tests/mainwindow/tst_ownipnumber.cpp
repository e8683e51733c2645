#include "ipaddressedit.h"
#include "ownipnumber.h"

#include <QProcess>
#include <QTest>
#include <sched.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Each case builds its own interfaces in a network namespace of its own,
// created by this process for the purpose; nothing outside it is touched.
class TestOwnIPNumber : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ownAddress_data();
    void ownAddress();

private:
    static bool ip(const QString &arguments);
};

bool TestOwnIPNumber::ip(const QString &arguments)
{
    QProcess process;
    process.start(u"ip"_s, arguments.split(u' ', Qt::SkipEmptyParts));
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        qWarning("ip %s: %s", qPrintable(arguments), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

void TestOwnIPNumber::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root to create network namespaces");
    if (unshare(CLONE_NEWNET) != 0)
        QSKIP("network namespaces are not available here");
}

void TestOwnIPNumber::ownAddress_data()
{
    const QString veth = u"link add v0 type veth peer name v1"_s;
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing up") << QStringList{} << QString();
    QTest::newRow("loopback only") << QStringList{u"link set lo up"_s} << QString();
    QTest::newRow("one address") << QStringList{u"link set lo up"_s, veth,
                                                u"addr add 10.9.8.7/24 dev v0"_s,
                                                u"link set v0 up"_s}
                                 << u"10.9.8.7"_s;
    QTest::newRow("interface down")
        << QStringList{veth, u"addr add 10.9.8.7/24 dev v0"_s} << QString();
    QTest::newRow("loopback range on another interface")
        << QStringList{veth, u"addr add 127.0.0.5/8 dev v0"_s, u"link set v0 up"_s} << QString();
    QTest::newRow("first of two addresses")
        << QStringList{veth, u"addr add 192.168.50.1/24 dev v0"_s,
                       u"addr add 172.16.1.1/16 dev v0"_s, u"link set v0 up"_s}
        << u"192.168.50.1"_s;
    QTest::newRow("top octets") << QStringList{veth, u"addr add 255.254.253.252/30 dev v0"_s,
                                               u"link set v0 up"_s}
                                << u"255.254.253.252"_s;
}

void TestOwnIPNumber::ownAddress()
{
    QFETCH(QStringList, commands);
    QFETCH(QString, expected);
    QCOMPARE(unshare(CLONE_NEWNET), 0);
    for (const QString &command : commands)
        QVERIFY2(ip(command), qPrintable(command));

    QCOMPARE(queryOwnIpNumber(), expected);
    QCOMPARE(IpAddressEdit::ownIpNumber(), expected);
}

QTEST_MAIN(TestOwnIPNumber)
#include "tst_ownipnumber.moc"
