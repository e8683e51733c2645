#include "fakeechoprober.h"
#include "iplistprobe.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 loopback(int last)
{
    return quint32(127) << 24 | quint32(last);
}

QList<bool> answersOf(const QSignalSpy &spy, int run)
{
    return spy.at(run).at(0).value<QList<bool>>();
}

// Notes the time-to-live and time-out each probe is sent with.
class RecordingProber : public FakeEchoProber
{
public:
    QList<QPair<int, int>> ttlAndTimeout;

    using EchoProber::probe;
    ProbeId probe(quint32 address, int ttl, int timeoutMs) override
    {
        ttlAndTimeout.append({ttl, timeoutMs});
        return FakeEchoProber::probe(address, ttl, timeoutMs);
    }
};

} // namespace

class TestIpListProbe : public QObject
{
    Q_OBJECT

private slots:
    void realProber_data();
    void realProber();
    void noAddressCostsNothing();
    void answersReachTheirOwnRows();
    void lostProbeCountsAsNoAnswer();
    void cancelSilencesTheRun();
};

void TestIpListProbe::realProber_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<bool>>("answered");
    QTest::newRow("loopback forms answer")
        << QStringList{u"127.0.0.1"_s, u"127.1"_s, u"127.000.000.010"_s}
        << QList<bool>{true, true, true};
    QTest::newRow("empty rows and non-addresses get no mark")
        << QStringList{QString(), u"127.0.0.2"_s, u"abc"_s, u" 127.0.0.1"_s, u"127.0.0.256"_s}
        << QList<bool>{false, true, false, false, false};
    QStringList hundred;
    for (int i = 1; i <= 100; ++i)
        hundred << u"127.0.1.%1"_s.arg(i);
    QTest::newRow("100 rows in flight at once") << hundred << QList<bool>(100, true);
}

void TestIpListProbe::realProber()
{
    QFETCH(QStringList, rows);
    const auto prober = createSystemEchoProber();
    if (!prober->isAvailable())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + prober->unavailableReason()));
    IpListProbe probe(*prober);
    QTEST(probe.probeAndWait(rows), "answered");
    QVERIFY(!probe.isRunning());
}

void TestIpListProbe::noAddressCostsNothing()
{
    RecordingProber prober;
    IpListProbe probe(prober);
    QSignalSpy finished(&probe, &IpListProbe::finished);
    probe.start({QString(), u"name"_s, u"1.2.3.4.5"_s});
    QCOMPARE(finished.size(), 0); // never from inside start()
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(answersOf(finished, 0), QList<bool>(3, false));
    QVERIFY(prober.sent.isEmpty());

    QCOMPARE(probe.probeAndWait({u"x"_s, u"127.0.0.7"_s}), (QList<bool>{false, false}));
    QCOMPARE(prober.sent, QList<quint32>{loopback(7)});
    QCOMPARE(prober.ttlAndTimeout, (QList<QPair<int, int>>{{128, 200}}));
}

// Replies come back in the reverse order of the rows, and another user of the
// same prober (the scan) gets an answer in between.
void TestIpListProbe::answersReachTheirOwnRows()
{
    FakeEchoProber prober;
    prober.delay = [](quint32 address) { return 60 - 5 * int(address & 0xff); };
    QStringList rows;
    QList<bool> expected;
    for (int i = 1; i <= 10; ++i) {
        rows << u"127.0.0.%1"_s.arg(i);
        if (i % 3 == 0)
            prober.answering.insert(loopback(i));
        expected << (i % 3 == 0);
    }
    prober.answering.insert(loopback(99));
    IpListProbe probe(prober);
    QSignalSpy finished(&probe, &IpListProbe::finished);
    probe.start(rows);
    prober.probe(loopback(99), 64, 100);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(answersOf(finished, 0), expected);
}

void TestIpListProbe::lostProbeCountsAsNoAnswer()
{
    FakeEchoProber prober;
    prober.answering = {loopback(1), loopback(2)};
    prober.delay = [](quint32 address) { return address == loopback(2) ? 60000 : 0; };
    IpListProbe probe(prober);
    probe.setGraceMs(100);
    QCOMPARE(probe.probeAndWait({u"127.0.0.1"_s, u"127.0.0.2"_s}), (QList<bool>{true, false}));
    QCOMPARE(prober.cancelled.size(), 1);
}

void TestIpListProbe::cancelSilencesTheRun()
{
    // The prober reports the cancelled probe late, as a reply on its way would.
    FakeEchoProber prober;
    prober.reportCancelledToo = true;
    prober.answering = {loopback(1)};
    prober.delay = [](quint32 address) { return address == loopback(1) ? 0 : 30; };
    IpListProbe probe(prober);
    QSignalSpy finished(&probe, &IpListProbe::finished);
    probe.start({u"127.0.0.1"_s});
    probe.cancel();
    QVERIFY(!probe.isRunning());
    QCOMPARE(prober.cancelled.size(), 1);
    // The late "answered" of row 0 does not leak into the next run.
    probe.start({u"127.0.0.2"_s});
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(answersOf(finished, 0), QList<bool>{false});
}

QTEST_GUILESS_MAIN(TestIpListProbe)
#include "tst_iplistprobe.moc"
