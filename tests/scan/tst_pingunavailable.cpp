#include "icmpechoprober_linux.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Where neither kind of ICMP socket is allowed: an unprivileged user in a
// network namespace whose ping_group_range admits nobody.
class TestPingUnavailable : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reasonSaysHowToAllowEchoRequests();
    void probesEndUnansweredOnALaterTurn_data();
    void probesEndUnansweredOnALaterTurn();
};

void TestPingUnavailable::initTestCase()
{
    if (::geteuid() == 0 || qEnvironmentVariableIsEmpty("CORVANE_LAB"))
        QSKIP("runs as an unprivileged user inside the lab (run-in-lab.sh, CORVANE_LAB_RUN_AS)");
}

void TestPingUnavailable::reasonSaysHowToAllowEchoRequests()
{
    IcmpEchoProber prober;
    QVERIFY(!prober.isAvailable());
    QCOMPARE(prober.socketKind(), IcmpSocket::Kind::None);
    QCOMPARE(prober.socketDescriptor(), -1);

    const QString reason = prober.unavailableReason();
    QVERIFY2(reason.contains(u"sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""_s),
             qPrintable(reason));
    QVERIFY2(reason.contains(u"setcap cap_net_raw+ep "_s + QCoreApplication::applicationFilePath()),
             qPrintable(reason));

    const auto system = createSystemEchoProber();
    QVERIFY(!system->isAvailable());
    QCOMPARE(system->unavailableReason(), reason);
}

void TestPingUnavailable::probesEndUnansweredOnALaterTurn_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("loopback") << u"127.0.0.1"_s;
    QTest::newRow("answering lab host")
        << qEnvironmentVariable("CORVANE_LAB_ANSWERING").section(u' ', 0, 0);
    QTest::newRow("text that is no address") << u"nowhere"_s;
}

void TestPingUnavailable::probesEndUnansweredOnALaterTurn()
{
    QFETCH(QString, address);
    IcmpEchoProber prober;
    QSignalSpy spy(&prober, &EchoProber::finished);
    const auto first = prober.probe(address, 128, 60000);
    const auto second = prober.probe(address, 128, 60000);
    QVERIFY(first != second);
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<EchoProber::ProbeId>(), first);
    QCOMPARE(spy.at(1).at(0).value<EchoProber::ProbeId>(), second);
    QCOMPARE(spy.at(0).at(1).toBool(), false);
    QCOMPARE(spy.at(1).at(1).toBool(), false);
}

QTEST_GUILESS_MAIN(TestPingUnavailable)
#include "tst_pingunavailable.moc"
