#include "iplistprobe.h"
#include "scriptedechoprober.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 address(int a, int b, int c, int d)
{
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | quint32(d);
}

} // namespace

class TestIPListProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loopbackRows_data();
    void loopbackRows();
    void hundredLoopbackRowsAtOnce();
    void noAddressCostsNothing();
    void answersReachTheirOwnRows();
    void resultAlwaysLater();
    void lostProbeCountsAsNoAnswer();
    void cancelSilences();
    void otherCallersProbesIgnored();

private:
    std::unique_ptr<EchoProber> m_real;
};

void TestIPListProbe::initTestCase()
{
    m_real = createSystemEchoProber();
    QVERIFY2(m_real->isAvailable(), qPrintable(m_real->unavailableReason()));
}

void TestIPListProbe::loopbackRows_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<bool>>("answered");
    QTest::newRow("loopback answers")
        << QStringList{u"127.0.0.1"_s, u"127.0.0.2"_s} << QList<bool>{true, true};
    QTest::newRow("short form") << QStringList{u"127.1"_s} << QList<bool>{true};
    QTest::newRow("leading zeros") << QStringList{u"127.000.000.010"_s} << QList<bool>{true};
    QTest::newRow("empty rows and non-addresses get no mark")
        << QStringList{QString(),       u"127.0.0.1"_s,   u"abc"_s,
                       u" 127.0.0.1"_s, u"127.0.0.256"_s, u"127.0.0.3"_s}
        << QList<bool>{false, true, false, false, false, true};
    QTest::newRow("same address twice")
        << QStringList{u"127.0.0.9"_s, u"127.0.0.9"_s} << QList<bool>{true, true};
}

void TestIPListProbe::loopbackRows()
{
    QFETCH(QStringList, rows);
    IPListProbe probe(*m_real);
    QTEST(probe.probeAndWait(rows), "answered");
    QVERIFY(!probe.isRunning());
}

void TestIPListProbe::hundredLoopbackRowsAtOnce()
{
    QStringList rows;
    for (int i = 1; i <= 100; ++i)
        rows << u"127.0.1.%1"_s.arg(i);
    IPListProbe probe(*m_real);
    QSignalSpy finished(&probe, &IPListProbe::finished);
    probe.start(rows);
    QVERIFY(probe.isRunning());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), QList<bool>(100, true));
}

void TestIPListProbe::noAddressCostsNothing()
{
    ScriptedEchoProber prober;
    IPListProbe probe(prober);
    const QList<bool> answered = probe.probeAndWait(
        {QString(), u"nothing"_s, u"1.2.3.4.5"_s, u"127.0.0.7"_s, u"300.0.0.1"_s});
    QCOMPARE(answered, QList<bool>(5, false));
    QCOMPARE(prober.sent, QList<quint32>{address(127, 0, 0, 7)});
    QCOMPARE(prober.ttls, QList<int>{128});
    QCOMPARE(prober.timeouts, QList<int>{200});
}

void TestIPListProbe::answersReachTheirOwnRows()
{
    // Replies come back in the reverse order of the rows.
    ScriptedEchoProber prober;
    QStringList rows;
    QList<bool> expected;
    for (int i = 0; i < 10; ++i) {
        const quint32 target = address(127, 0, 2, i);
        rows << u"127.0.2.%1"_s.arg(i);
        prober.delayMs.insert(target, 50 - 5 * i);
        if (i % 3 == 0)
            prober.answering.insert(target);
        expected << (i % 3 == 0);
    }
    IPListProbe probe(prober);
    QCOMPARE(probe.probeAndWait(rows), expected);
}

void TestIPListProbe::resultAlwaysLater()
{
    ScriptedEchoProber prober;
    IPListProbe probe(prober);
    QSignalSpy finished(&probe, &IPListProbe::finished);
    probe.start({QString(), u"x"_s});
    QCOMPARE(finished.size(), 0);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), (QList<bool>{false, false}));
    QVERIFY(prober.sent.isEmpty());

    probe.start({});
    QCOMPARE(finished.size(), 1);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(finished.at(1).at(0).value<QList<bool>>().isEmpty());
}

void TestIPListProbe::lostProbeCountsAsNoAnswer()
{
    ScriptedEchoProber prober;
    prober.answering = {address(127, 0, 0, 1), address(127, 0, 0, 2)};
    prober.lost = {address(127, 0, 0, 2)};
    IPListProbe probe(prober);
    probe.setGraceMs(100);
    QCOMPARE(probe.probeAndWait({u"127.0.0.1"_s, u"127.0.0.2"_s}), (QList<bool>{true, false}));
    QCOMPARE(prober.cancelled.size(), 1);
}

void TestIPListProbe::cancelSilences()
{
    ScriptedEchoProber prober;
    prober.answering = {address(127, 0, 0, 1)};
    prober.delayMs.insert(address(127, 0, 0, 1), 20);
    IPListProbe probe(prober);
    QSignalSpy finished(&probe, &IPListProbe::finished);
    probe.start({u"127.0.0.1"_s});
    probe.cancel();
    QVERIFY(!probe.isRunning());
    QCOMPARE(prober.cancelled.size(), 1);

    // A second run on the same prober finishes on its own.
    prober.delayMs.clear();
    probe.start({u"127.0.0.1"_s});
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), QList<bool>{true});
}

void TestIPListProbe::otherCallersProbesIgnored()
{
    // Another user of the same prober (the scan) does not disturb the list.
    ScriptedEchoProber prober;
    prober.answering = {address(127, 0, 0, 5)};
    prober.delayMs.insert(address(127, 0, 0, 6), 30);
    IPListProbe probe(prober);
    QSignalSpy finished(&probe, &IPListProbe::finished);
    probe.start({u"127.0.0.6"_s});
    prober.probe(address(127, 0, 0, 5), 64, 100);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), QList<bool>{false});
}

QTEST_GUILESS_MAIN(TestIPListProbe)
#include "tst_iplistprobe.moc"
