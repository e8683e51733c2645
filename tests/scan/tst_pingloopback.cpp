#include "icmpechoprober_linux.h"
#include "ping.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

qsizetype openDescriptors()
{
    return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
}

quint32 loopback(quint32 host)
{
    return 0x7f000000u | host;
}

// Collects finished() per probe id, counting repeats.
struct Results
{
    explicit Results(EchoProber &prober)
    {
        QObject::connect(&prober, &EchoProber::finished, &prober,
                         [this](EchoProber::ProbeId id, bool answered) {
                             if (answers.contains(id))
                                 ++repeats;
                             answers.insert(id, answered);
                         });
    }
    QHash<EchoProber::ProbeId, bool> answers;
    int repeats = 0;
};

} // namespace

// Real ICMP sockets on this host's loopback, where every 127.0.0.0/8 address answers.
class TestPingLoopback : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ping_data();
    void ping();
    void pingLeavesNothingOpen();
    void probe_data();
    void probe();
    void manyProbesInFlight();
    void sameAddressManyTimes();
    void cancelledProbeNeverFinishes();
    void cancelAllEndsEverything();
    void receiverMayCancelTheRest();
    void receiverMayDeleteTheProber();
    void receiverMayStartTheNextProbe();
};

void TestPingLoopback::initTestCase()
{
    const QString reason = echoUnavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + reason));
    IcmpEchoProber prober;
    QVERIFY(prober.isAvailable());
    QVERIFY(prober.unavailableReason().isEmpty());
    QVERIFY(prober.socketKind() != IcmpSocket::Kind::None);
}

void TestPingLoopback::ping_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<bool>("expected");

    QTest::newRow("loopback answers") << u"127.0.0.1"_s << 128 << true;
    QTest::newRow("any loopback address answers") << u"127.45.6.7"_s << 128 << true;
    // Read as octal, "08" would be no number at all.
    QTest::newRow("leading zeros are decimal") << u"127.0.0.08"_s << 128 << true;
    QTest::newRow("ttl 1 is enough for this host") << u"127.0.0.1"_s << 1 << true;
    QTest::newRow("ttl 255") << u"127.0.0.1"_s << 255 << true;
    QTest::newRow("ttl 0 cannot be sent") << u"127.0.0.1"_s << 0 << false;
    QTest::newRow("ttl 256 narrows to 0") << u"127.0.0.1"_s << 256 << false;
    QTest::newRow("negative ttl narrows to 0") << u"127.0.0.1"_s << -1 << false;
    QTest::newRow("text that is no address") << u"localhost"_s << 128 << false;
    QTest::newRow("empty text") << QString() << 128 << false;
    QTest::newRow("limited broadcast") << u"255.255.255.255"_s << 128 << false;
    QTest::newRow("loopback broadcast") << u"127.255.255.255"_s << 128 << false;
}

void TestPingLoopback::ping()
{
    QFETCH(QString, address);
    QFETCH(int, ttl);
    QFETCH(bool, expected);

    // None of these may wait for the time-out: loopback answers at once, and
    // the others are refused before or while sending.
    constexpr int timeout = 30000;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Ping(address, ttl, timeout), expected);
    QVERIFY2(clock.elapsed() < timeout / 3, qPrintable(u"took %1 ms"_s.arg(clock.elapsed())));
}

void TestPingLoopback::pingLeavesNothingOpen()
{
    const qsizetype before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        QVERIFY(Ping(u"127.0.0.1"_s, 128, 200));
        QVERIFY(!Ping(u"bad"_s, 128, 200));
        QVERIFY(!Ping(u"127.0.0.1"_s, 0, 200));
    }
    QCOMPARE(openDescriptors(), before);
    QVERIFY(echoUnavailableReason().isEmpty());
    QCOMPARE(openDescriptors(), before);
}

void TestPingLoopback::probe_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<bool>("expected");

    QTest::newRow("loopback answers") << u"127.0.0.1"_s << 128 << true;
    QTest::newRow("leading zeros are decimal") << u"127.000.009.08"_s << 128 << true;
    QTest::newRow("text that is no address") << u"127.0.0.1.1"_s << 128 << false;
    QTest::newRow("ttl 0 cannot be sent") << u"127.0.0.1"_s << 0 << false;
    QTest::newRow("limited broadcast") << u"255.255.255.255"_s << 128 << false;
}

void TestPingLoopback::probe()
{
    QFETCH(QString, address);
    QFETCH(int, ttl);
    QFETCH(bool, expected);

    IcmpEchoProber prober;
    QSignalSpy spy(&prober, &EchoProber::finished);
    const EchoProber::ProbeId id = prober.probe(address, ttl, 30000);
    QCOMPARE(spy.count(), 0); // never from inside probe()
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<EchoProber::ProbeId>(), id);
    QCOMPARE(spy.at(0).at(1).toBool(), expected);
    QCOMPARE(prober.inFlightCount(), 0);
}

void TestPingLoopback::manyProbesInFlight()
{
    IcmpEchoProber prober;
    Results results(prober);
    QHash<EchoProber::ProbeId, quint32> sent;
    constexpr quint32 count = 4096;
    for (quint32 i = 0; i < count; ++i)
        sent.insert(prober.probe(loopback(0x010000 + i), 128, 5000), i);
    QCOMPARE(sent.size(), qsizetype(count)); // every id distinct

    QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), qsizetype(count), 30000);
    QCOMPARE(results.repeats, 0);
    for (auto it = results.answers.cbegin(); it != results.answers.cend(); ++it) {
        QVERIFY(sent.contains(it.key()));
        QVERIFY2(it.value(), qPrintable(u"127.1.x.x no. %1 did not answer"_s.arg(sent[it.key()])));
    }
    QCOMPARE(prober.inFlightCount(), 0);
    QCOMPARE(prober.queuedCount(), 0);
}

void TestPingLoopback::sameAddressManyTimes()
{
    IcmpEchoProber prober;
    Results results(prober);
    for (int i = 0; i < 500; ++i)
        prober.probe(loopback(1), 128, 5000);
    QTRY_COMPARE(results.answers.size(), 500);
    QCOMPARE(results.repeats, 0);
    QCOMPARE(results.answers.values().count(true), 500);
}

void TestPingLoopback::cancelledProbeNeverFinishes()
{
    IcmpEchoProber prober;
    Results results(prober);
    const auto cancelledQueued = prober.probe(loopback(1), 128, 5000);
    const auto kept = prober.probe(loopback(2), 128, 5000);
    prober.cancel(cancelledQueued);
    QTRY_VERIFY(results.answers.contains(kept));

    // Both answers are read in one go; the first receiver cancels the other,
    // whose result is then already known but not yet delivered.
    const auto first = prober.probe(loopback(3), 128, 5000);
    const auto second = prober.probe(loopback(4), 128, 5000);
    connect(&prober, &EchoProber::finished, this,
            [&](EchoProber::ProbeId id) { prober.cancel(id == first ? second : first); });
    QTRY_VERIFY(results.answers.contains(first) || results.answers.contains(second));
    // A later probe's answer comes after the cancelled one's would have.
    const auto later = prober.probe(loopback(5), 128, 5000);
    QTRY_VERIFY(results.answers.contains(later));

    QVERIFY(!results.answers.contains(cancelledQueued));
    QVERIFY(results.answers.contains(first) != results.answers.contains(second));
    QCOMPARE(results.answers.size(), 3);
    QCOMPARE(results.repeats, 0);
    prober.cancel(later); // an id that has finished already is ignored
    prober.cancel(0);
}

void TestPingLoopback::cancelAllEndsEverything()
{
    IcmpEchoProber prober;
    Results results(prober);
    for (quint32 i = 1; i <= 300; ++i)
        prober.probe(loopback(i), 128, 5000);
    prober.probe(u"no address"_s, 128, 5000);
    prober.cancelAll();
    QCOMPARE(prober.queuedCount(), 0);

    const auto after = prober.probe(loopback(1), 128, 5000);
    QTRY_VERIFY(results.answers.contains(after));
    QCOMPARE(results.answers.size(), 1);
    QVERIFY(results.answers.value(after));
}

void TestPingLoopback::receiverMayCancelTheRest()
{
    IcmpEchoProber prober;
    int calls = 0;
    connect(&prober, &EchoProber::finished, this, [&] {
        ++calls;
        prober.cancelAll();
    });
    for (quint32 i = 1; i <= 50; ++i)
        prober.probe(loopback(i), 128, 5000);
    QTRY_COMPARE(calls, 1);

    int afterwards = 0;
    connect(&prober, &EchoProber::finished, this, [&] { ++afterwards; });
    prober.probe(loopback(99), 128, 5000);
    QTRY_COMPARE(afterwards, 1);
    QCOMPARE(calls, 2);
}

void TestPingLoopback::receiverMayDeleteTheProber()
{
    const qsizetype before = openDescriptors();
    QPointer<IcmpEchoProber> prober = new IcmpEchoProber;
    int calls = 0;
    connect(prober, &EchoProber::finished, this, [&] {
        ++calls;
        delete prober;
    });
    for (quint32 i = 1; i <= 50; ++i)
        prober->probe(loopback(i), 128, 5000);
    QTRY_VERIFY(prober.isNull());
    QCOMPARE(calls, 1);
    QCOMPARE(openDescriptors(), before);
}

void TestPingLoopback::receiverMayStartTheNextProbe()
{
    IcmpEchoProber prober;
    int answered = 0;
    int finished = 0;
    connect(&prober, &EchoProber::finished, this, [&](EchoProber::ProbeId, bool ok) {
        ++finished;
        answered += ok ? 1 : 0;
        if (finished < 100)
            prober.probe(loopback(static_cast<quint32>(finished)), 128, 5000);
    });
    prober.probe(loopback(1), 128, 5000);
    QTRY_COMPARE(finished, 100);
    QCOMPARE(answered, 100);
}

QTEST_GUILESS_MAIN(TestPingLoopback)
#include "tst_pingloopback.moc"
