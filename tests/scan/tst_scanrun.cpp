#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "ipv4address.h"
#include "scanrun.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct Outcome
{
    QStringList results; // "address|name"
    QString finalField;
    bool stopped = false;
};

quint32 addr(const QString &text)
{
    return parseIPv4Address(text).value_or(0);
}

// Replies arrive out of order, so the in-order commit is really exercised.
int scrambledDelay(quint32 address)
{
    return static_cast<int>((address * 7919U) % 13U);
}

Outcome runToEnd(ScanRun &run, const ScanOptions &options)
{
    Outcome out;
    QObject guard;
    QObject::connect(&run, &ScanRun::resultReady, &guard,
                     [&out](const QString &a, const QString &n) { out.results << a + u'|' + n; });
    QObject::connect(&run, &ScanRun::currentAddressChanged, &guard,
                     [&out](const QString &a) { out.finalField = a; });
    QSignalSpy finished(&run, &ScanRun::finished);
    run.start(options);
    if (!finished.wait(20000) && finished.isEmpty())
        qWarning("scan did not finish");
    if (!finished.isEmpty())
        out.stopped = finished.first().first().toBool();
    return out;
}

ScanOptions pingOptions(const QString &start, const QString &stop, int parallel)
{
    ScanOptions o;
    o.startText = start;
    o.stopText = stop;
    o.parallel = parallel;
    return o;
}

} // namespace

class TestScanRun : public QObject
{
    Q_OBJECT
private slots:
    void walkOutcome_data();
    void walkOutcome();
    void inFlightNeverExceedsParallel();
    void stopThenResumeCoversTheRangeOnce();
    void stopDropsLateReplies();
    void restartIgnoresTheEarlierRun();
    void names_data();
    void names();
    void longSilentWalkKeepsTheEventLoopTurning();
    void realProberOnLoopbackGivesTheSameLinesForAnyParallel();
};

void TestScanRun::walkOutcome_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QStringList>("answering");
    QTest::addColumn<int>("handled");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QString>("finalField");

    QTest::newRow("one of three answers")
        << u"192.168.1.1"_qs << u"192.168.1.3"_qs << QStringList{u"192.168.1.2"_qs} << 3
        << QStringList{u"192.168.1.2|"_qs} << u"192.168.1.3"_qs;
    QTest::newRow("stop below start handles only the start")
        << u"10.0.0.5"_qs << u"10.0.0.1"_qs << QStringList{u"10.0.0.5"_qs} << 1
        << QStringList{u"10.0.0.5|"_qs} << u"10.0.0.5"_qs;
    QTest::newRow("walk crosses into the next octet")
        << u"10.0.0.250"_qs << u"10.0.1.5"_qs
        << QStringList{u"10.0.0.255"_qs, u"10.0.1.0"_qs, u"10.0.1.5"_qs} << 12
        << QStringList{u"10.0.0.255|"_qs, u"10.0.1.0|"_qs, u"10.0.1.5|"_qs} << u"10.0.1.5"_qs;
    QTest::newRow("last address ends the walk")
        << u"255.255.255.250"_qs << u"255.255.255.255"_qs << QStringList{u"255.255.255.255"_qs} << 6
        << QStringList{u"255.255.255.255|"_qs} << u"255.255.255.255"_qs;
    QTest::newRow("leading zeros are decimal and kept as typed")
        << u"010.000.001.254"_qs << u"010.000.002.001"_qs << QStringList{u"10.0.1.255"_qs} << 4
        << QStringList{u"010.000.001.255|"_qs} << u"010.000.2.1"_qs;
}

void TestScanRun::walkOutcome()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QStringList, answering);
    QFETCH(int, handled);
    QFETCH(QStringList, results);
    QFETCH(QString, finalField);

    // The outcome must not depend on how many addresses are in flight.
    for (int parallel : {1, 3, 256}) {
        FakeEchoProber prober;
        prober.delay = scrambledDelay;
        for (const QString &a : answering)
            prober.answering.insert(addr(a));
        FakeHostResolver resolver;
        ScanRun run(prober, resolver);
        const Outcome out = runToEnd(run, pingOptions(start, stop, parallel));
        QCOMPARE(out.results, results);
        QCOMPARE(out.finalField, finalField);
        QCOMPARE(out.stopped, false);
        QCOMPARE(prober.sent.size(), handled);
        QVERIFY(!run.isRunning());
    }
}

void TestScanRun::inFlightNeverExceedsParallel()
{
    FakeEchoProber prober;
    prober.delay = [](quint32 a) { return static_cast<int>(a % 5U); };
    FakeHostResolver resolver;
    ScanRun run(prober, resolver);
    runToEnd(run, pingOptions(u"10.1.0.0"_qs, u"10.1.3.255"_qs, 16));
    QCOMPARE(prober.sent.size(), 1024);
    QVERIFY(prober.maxInFlight <= 16);
    QVERIFY(prober.maxInFlight > 1);
}

void TestScanRun::stopThenResumeCoversTheRangeOnce()
{
    FakeEchoProber prober;
    prober.delay = scrambledDelay;
    QStringList expected;
    for (int i = 1; i <= 200; ++i) {
        if (i % 3 == 0) {
            const QString a = u"10.0.0."_qs + QString::number(i);
            prober.answering.insert(addr(a));
            expected << a + u'|';
        }
    }
    FakeHostResolver resolver;
    ScanRun run(prober, resolver);

    QStringList got;
    QString field;
    connect(&run, &ScanRun::resultReady, this, [&](const QString &a, const QString &n) {
        got << a + u'|' + n;
        if (got.size() == 5)
            run.requestStop();
    });
    connect(&run, &ScanRun::currentAddressChanged, this, [&](const QString &a) { field = a; });
    QSignalSpy finished(&run, &ScanRun::finished);
    run.start(pingOptions(u"10.0.0.1"_qs, u"10.0.0.200"_qs, 32));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(got.size(), 5);
    // The field names the first address whose result was not committed.
    QCOMPARE(field, u"10.0.0.16"_qs);

    run.start(pingOptions(field, u"10.0.0.200"_qs, 32));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished.at(1).at(0).toBool(), false);
    QCOMPARE(got, expected);
}

void TestScanRun::stopDropsLateReplies()
{
    FakeEchoProber prober;
    prober.reportCancelledToo = true;
    prober.delay = [](quint32 a) { return (a & 0xffU) == 1U ? 0 : 50; };
    for (int i = 1; i <= 40; ++i)
        prober.answering.insert(addr(u"10.0.0."_qs + QString::number(i)));
    FakeHostResolver resolver;
    ScanRun run(prober, resolver);
    QStringList got;
    connect(&run, &ScanRun::resultReady, this, [&](const QString &a, const QString &) {
        got << a;
        run.requestStop();
    });
    QSignalSpy finished(&run, &ScanRun::finished);
    QSignalSpy replies(&prober, &EchoProber::finished);
    run.start(pingOptions(u"10.0.0.1"_qs, u"10.0.0.40"_qs, 40));
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!prober.cancelled.isEmpty());
    // The cancelled probes still "answer" after 50 ms; none of it may surface.
    QTRY_COMPARE(replies.size(), prober.sent.size());
    QCOMPARE(got, QStringList{u"10.0.0.1"_qs});
    QCOMPARE(finished.size(), 1);
}

void TestScanRun::restartIgnoresTheEarlierRun()
{
    FakeEchoProber prober;
    prober.reportCancelledToo = true;
    prober.delay = [](quint32) { return 30; };
    prober.answering.insert(addr(u"10.0.0.1"_qs));
    prober.answering.insert(addr(u"10.9.0.1"_qs));
    FakeHostResolver resolver;
    ScanRun run(prober, resolver);
    QStringList got;
    connect(&run, &ScanRun::resultReady, this,
            [&](const QString &a, const QString &) { got << a; });
    QSignalSpy finished(&run, &ScanRun::finished);
    QSignalSpy replies(&prober, &EchoProber::finished);
    run.start(pingOptions(u"10.0.0.1"_qs, u"10.0.0.1"_qs, 4));
    run.start(pingOptions(u"10.9.0.1"_qs, u"10.9.0.1"_qs, 4));
    QTRY_COMPARE(finished.size(), 1);
    QTRY_COMPARE(replies.size(), 2);
    QCOMPARE(got, QStringList{u"10.9.0.1"_qs});
    QCOMPARE(finished.size(), 1);
}

void TestScanRun::names_data()
{
    QTest::addColumn<bool>("pingMode");
    QTest::addColumn<bool>("namesWanted");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<int>("probes");
    QTest::addColumn<int>("lookups");

    // 10.0.0.2 and .3 answer; .1, .2, .5 and .9 have names.
    QTest::newRow("ping with names looks up every address")
        << true << true << QStringList{u"10.0.0.2|two.example"_qs, u"10.0.0.3|"_qs} << 60 << 60;
    QTest::newRow("ping without names")
        << true << false << QStringList{u"10.0.0.2|"_qs, u"10.0.0.3|"_qs} << 60 << 0;
    QTest::newRow("get domain lists named addresses without probing")
        << false << true
        << QStringList{u"10.0.0.1|one.example"_qs, u"10.0.0.2|two.example"_qs,
                       u"10.0.0.5|five.example"_qs, u"10.0.0.9|nine.example"_qs}
        << 0 << 60;
    QTest::newRow("get domain without names lists nothing")
        << false << false << QStringList{} << 0 << 0;
}

void TestScanRun::names()
{
    QFETCH(bool, pingMode);
    QFETCH(bool, namesWanted);
    QFETCH(QStringList, results);
    QFETCH(int, probes);
    QFETCH(int, lookups);

    FakeEchoProber prober;
    prober.delay = scrambledDelay;
    prober.answering = {addr(u"10.0.0.2"_qs), addr(u"10.0.0.3"_qs)};
    FakeHostResolver resolver;
    resolver.reverseDelayMs = 1;
    for (const auto &[host, name] : {std::pair{1, "one"}, {2, "two"}, {5, "five"}, {9, "nine"}})
        resolver.reverse.insert(u"10.0.0.%1"_qs.arg(host),
                                QString::fromLatin1(name) + u".example"_qs);
    ScanRun run(prober, resolver);
    ScanOptions o = pingOptions(u"10.0.0.1"_qs, u"10.0.0.60"_qs, 64);
    o.pingMode = pingMode;
    o.namesWanted = namesWanted;
    const Outcome out = runToEnd(run, o);
    QCOMPARE(out.results, results);
    QCOMPARE(out.finalField, u"10.0.0.60"_qs);
    QCOMPARE(prober.sent.size(), probes);
    QCOMPARE(resolver.reverseAsked().size(), lookups);
}

void TestScanRun::longSilentWalkKeepsTheEventLoopTurning()
{
    // 2^18 addresses with nothing to send: the run must hand control back to
    // the event loop between batches instead of walking them in one go.
    FakeEchoProber prober;
    FakeHostResolver resolver;
    ScanRun run(prober, resolver);
    ScanOptions o = pingOptions(u"10.0.0.0"_qs, u"10.3.255.255"_qs, 256);
    o.pingMode = false;
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(0);
    const Outcome out = runToEnd(run, o);
    QCOMPARE(out.finalField, u"10.3.255.255"_qs);
    QVERIFY2(ticks > 10, qPrintable(QString::number(ticks)));
}

void TestScanRun::realProberOnLoopbackGivesTheSameLinesForAnyParallel()
{
    std::unique_ptr<EchoProber> prober = createSystemEchoProber();
    if (!prober->isAvailable())
        QSKIP(qPrintable(prober->unavailableReason()));
    FakeHostResolver resolver;
    QStringList expected;
    for (int i = 1; i <= 254; ++i)
        expected << u"127.0.0."_qs + QString::number(i) + u'|';
    for (int parallel : {1, 64, 256}) {
        ScanRun run(*prober, resolver);
        const Outcome out =
            runToEnd(run, pingOptions(u"127.0.0.1"_qs, u"127.0.0.254"_qs, parallel));
        QCOMPARE(out.results, expected);
        QCOMPARE(out.finalField, u"127.0.0.254"_qs);
    }
}

QTEST_GUILESS_MAIN(TestScanRun)
#include "tst_scanrun.moc"
