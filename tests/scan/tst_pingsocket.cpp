#include "icmpechoprober_linux.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The packet reader's fuzz target: aborts when a reader and its reference disagree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// The packet reader's fuzz seeds; the prober on loopback; and (as nobody in the lab) where no
// ICMP socket is allowed.
class TestPingSocket : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_prober = std::make_unique<IcmpEchoProber>(); }
    void packetSeeds();
    void replyCountsByItsArrival_data();
    void replyCountsByItsArrival();
    void withoutIcmpSocket();

private:
    // Opened first: until the kernel has turned time stamps on, it stamps at reading.
    std::unique_ptr<IcmpEchoProber> m_prober;
};

void TestPingSocket::packetSeeds()
{
    const QDir seeds(qEnvironmentVariable("CORVANE_SOURCE_DIR") +
                     u"/fuzz/corpus/fuzz_icmppacket"_s);
    const QStringList names = seeds.entryList(QDir::Files);
    QVERIFY(names.size() > 40);
    for (const QString &name : names) {
        const QByteArray data = readFile(seeds.filePath(name));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.data()), size_t(data.size()));
    }
}

void TestPingSocket::replyCountsByItsArrival_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("busyMs"); // the event loop is blocked this long after the send
    QTest::addColumn<bool>("expected");

    QTest::newRow("reply read long after the wait counts, it arrived in time")
        << 1000 << 1200 << true;
    QTest::newRow("reply read at once does not count, it arrived after the wait")
        << 0 << 0 << false;
}

void TestPingSocket::replyCountsByItsArrival()
{
    QFETCH(int, timeout);
    QFETCH(int, busyMs);
    QFETCH(bool, expected);
    IcmpEchoProber &prober = *m_prober;
    if (!prober.isAvailable())
        QSKIP(qPrintable(u"echo requests are not allowed here: "_s + prober.unavailableReason()));
    QSignalSpy spy(&prober, &EchoProber::finished);
    QElapsedTimer clock;
    clock.start();
    prober.probe(0x7f000001, 128, timeout);
    // One turn sends; the reply reaches the socket before its readiness is handled.
    for (int turn = 0; turn < 100 && prober.inFlightCount() == 0 && spy.isEmpty(); ++turn)
        QCoreApplication::processEvents();
    QVERIFY2(spy.isEmpty() && prober.inFlightCount() == 1, "the send turn read the reply");
    pollfd reply{prober.socketDescriptor(), POLLIN, 0};
    QVERIFY(::poll(&reply, 1, 10000) == 1);
    if (expected && clock.elapsed() >= timeout)
        QSKIP("this loaded machine delivered the loopback reply only after the wait");
    QTest::qSleep(busyMs);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toBool(), expected);
}

// The reason tells how to allow echo requests; probes end unanswered, each on a later turn.
void TestPingSocket::withoutIcmpSocket()
{
    if (::geteuid() == 0 || qEnvironmentVariableIsEmpty("CORVANE_LAB"))
        QSKIP("runs as an unprivileged user inside the lab (run-in-lab.sh, CORVANE_LAB_RUN_AS)");
    IcmpEchoProber prober;
    QVERIFY(!prober.isAvailable());
    const QString reason = prober.unavailableReason();
    QVERIFY2(
        reason.contains(u"sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""_s) &&
            reason.contains(u"setcap cap_net_raw+ep "_s + QCoreApplication::applicationFilePath()),
        qPrintable(reason));
    QCOMPARE(createSystemEchoProber()->unavailableReason(), reason);

    QSignalSpy spy(&prober, &EchoProber::finished);
    const QList ids{prober.probe(0x7f000001, 128, 60000), prober.probe(0x7f000001, 128, 60000)};
    QVERIFY(ids[0] != ids[1]);
    QCOMPARE(spy.count(), 0);
    QTRY_COMPARE(spy.count(), 2);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(spy.at(i), (QVariantList{QVariant::fromValue(ids[i]), false}));
}

QTEST_GUILESS_MAIN(TestPingSocket)
#include "tst_pingsocket.moc"
