// A range scan's rules over a fake prober and resolver: walk, list, count, log, Stop, Resume;
// and the IP Number List's run, which probes all its rows at once.

#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "iplistprobe.h"
#include "ipv4address.h"
#include "scanrun.h"
#include "scansession.h"
#include "testfiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kStamp = u"12/05/26 03:26:08 pm"_s;
// From 10.0.2.1 to 10.0.2.10, these answer.
const QStringList kAnswering =
    u"10.0.2.1 10.0.2.2 10.0.2.3 10.0.2.4 10.0.2.5 10.0.2.10"_s.split(u' ');

// Ping lines without names, for the list or (with @p log) the log file.
QStringList lines(const QStringList &addresses, bool log = false)
{
    QStringList out;
    for (const QString &address : addresses)
        out << address + (log ? u"      "_s + kStamp + u"\r\n"_s : QString(u'\t' + kStamp));
    return out;
}

// A session over the fakes, and what the window would show, kept from its signals.
struct Scan
{
    FakeEchoProber prober;
    FakeHostResolver resolver;
    ScanSession session{prober, resolver};
    QTemporaryDir dir;
    QStringList list;
    QString counter, fileName;
    QStringList failures; // of the log, one per run that ended
    QStringList moves;    // of the start field in the last run, one per turn that committed
    QList<RunControls> controls;

    explicit Scan(int parallel)
    {
        // Replies come out of order, 10.0.2.10's last (no batch Stop comes in holds it);
        // dropped probes still answer, late.
        prober.delay = [](quint32 a) { return a % 256 == 10 ? 50 : int((a * 7919U) % 13U); };
        prober.reportCancelledToo = true;
        for (const QString &address :
             kAnswering + u"10.0.1.2 10.0.1.5 10.0.1.7 10.0.1.255"_s.split(u' '))
            prober.answering.insert(*parseIPv4Address(address));
        resolver.reverse = {
            {u"10.0.1.2"_s, u"two"_s}, {u"10.0.1.5"_s, u"five"_s}, {u"10.0.1.6"_s, u"six"_s}};
        session.setParallel(parallel);
        session.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        ScanSession *s = &session;
        QObject::connect(s, &ScanSession::resultListCleared, [this] { list.clear(); });
        QObject::connect(s, &ScanSession::resultLinesAdded, [this](auto added) { list += added; });
        QObject::connect(s, &ScanSession::counterTextChanged, [this](auto t) { counter = t; });
        QObject::connect(s, &ScanSession::currentAddressChanged, [this](auto a) { moves << a; });
        QObject::connect(s, &ScanSession::controlsChanged, [this](auto c) { controls << c; });
        QObject::connect(s, &ScanSession::logFileNameChanged, [this](auto n) { fileName = n; });
        QObject::connect(s, &ScanSession::finished, [this](auto failure) { failures << failure; });
    }
    ScanRequest request(const QString &start, const QString &stop, bool ping = true,
                        bool names = false, bool logging = false) const
    {
        return {start, stop, ping, names, logging, true, dir.path(), u"ipnums.txt"_s};
    }
    QByteArray log() const { return readFile(dir.filePath(u"ipnums.txt"_s)); }
    void run(const ScanRequest &request)
    {
        const qsizetype before = failures.size();
        moves.clear();
        session.start(request);
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), before + 1, 20000);
        QVERIFY(!session.isRunning());
    }
};

// A run from start to stop: what it walks, lists ('|' between lines, '@' for the
// time stamp) and leaves in the start field; its log, which held "old line".
struct RunCase
{
    const char *range; // start and stop
    int walked;
    const char *listed;
    const char *after;
    bool ping = true, names = false;
    int capacity = kResultListCapacity;
    const char *logged = nullptr; // null: logging is off
    const char *failure = "";     // of a log on /dev/full
};

} // namespace

Q_DECLARE_METATYPE(RunCase)

class TestScanSession : public QObject
{
    Q_OBJECT
private slots:
    void run_data();
    void run();
    void stopAndResume_data();
    void stopAndResume();
    void refusedAndAborted();
    void counterText();
    void listProbeRun_data();
    void listProbeRun();
};

void TestScanSession::run_data()
{
    QTest::addColumn<RunCase>("c");
    const auto row = [](const char *name, const char *range, int walked, const char *listed,
                        const char *after, bool ping = true, bool names = false,
                        int capacity = kResultListCapacity, const char *logged = nullptr,
                        const char *failure = "") {
        QTest::newRow(name) << RunCase{range, walked,   listed, after,  ping,
                                       names, capacity, logged, failure};
    };
    row("stop below start handles the start only", "10.0.2.3 10.0.2.1", 1, "10.0.2.3\t@",
        "10.0.2.3");
    row("leading zeros are decimal and kept as typed", "010.000.001.254 010.000.002.001", 4,
        "010.000.001.255\t@|010.000.2.1\t@", "010.000.2.1");
    row("names for every address, a silent named one left out", "10.0.1.1 10.0.1.7", 7,
        "10.0.1.2\ttwo\t@|10.0.1.5\tfive\t@|10.0.1.7\t\t@", "10.0.1.7", true, true);
    row("Get Domain lists and logs the named only", "10.0.1.1 10.0.1.9", 9,
        "10.0.1.2\ttwo|10.0.1.5\tfive|10.0.1.6\tsix", "10.0.1.9", false, true, kResultListCapacity,
        "10.0.1.2   two\r\n10.0.1.5   five\r\n10.0.1.6   six\r\n");
    row("a full disk is told once, at the end", "10.0.2.1 10.0.2.2", 2, "10.0.2.1\t@|10.0.2.2\t@",
        "10.0.2.2", true, false, kResultListCapacity, "old line\r\n",
        "Cannot write /dev/full: No space left on device");
    row("a fourth octet of 256 handles only the start", "10.0.1.256 10.0.2.9", 1, "", "10.0.1.256",
        false, true);
    row("Get Domain without names lists nothing, some thousands a turn", "10.0.0.0 10.3.255.255",
        1 << 18, "", "10.3.255.255", false);
    row("a full list starts anew with the line that finds it full", "10.0.2.1 10.0.2.5", 5,
        "10.0.2.4\t@|10.0.2.5\t@", "10.0.2.5", true, false, 3);
}

// One address at a time or many in flight, a run gives the same result.
void TestScanSession::run()
{
    QFETCH(RunCase, c);
    const QStringList range = QString::fromLatin1(c.range).split(u' ');
    const QStringList listed =
        QString::fromLatin1(c.listed).replace(u'@', kStamp).split(u'|', Qt::SkipEmptyParts);
    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        s.session.setResultListCapacity(c.capacity);
        s.prober.available = c.ping; // Get Domain sends no echo request, so it runs without them
        QVERIFY(writeFile(s.dir.filePath(u"ipnums.txt"_s), "old line\r\n"));
        ScanRequest request = s.request(range[0], range[1], c.ping, c.names, c.logged);
        if (*c.failure)
            request.logFolder = u"/dev"_s, request.logFileName = u"full"_s;
        s.run(request);

        QCOMPARE(s.list, listed);
        QCOMPARE(s.counter, listed.isEmpty() ? QString() : counterLabelText(listed.size(), c.ping));
        QCOMPARE(s.moves.last(), QString::fromLatin1(c.after));
        QCOMPARE(s.log(), QByteArray(c.logged ? c.logged : "old line\r\n"));
        QCOMPARE(s.failures, QStringList{QString::fromLatin1(c.failure)});
        QVERIFY(s.controls.size() == 2 && s.controls[0].running && !s.controls[1].running);
        QCOMPARE(s.controls.last().resultsListed, !listed.isEmpty());
        QCOMPARE(s.controls.last().resultToolTip,
                 c.names && !listed.isEmpty() ? u" Double-click on domain to load "_s : QString());
        QCOMPARE(s.prober.sent.size(), c.ping ? c.walked : 0);
        QCOMPARE(s.prober.ttlAndTimeout.count({128, 200}), s.prober.sent.size());
        QCOMPARE(s.resolver.reverseAsked().size(), c.names ? c.walked : 0);
        QVERIFY(s.prober.maxInFlight <= parallel);
        QCOMPARE(s.prober.maxInFlight > 1, c.ping && parallel > 1 && c.walked > 1);
        QVERIFY(s.moves.size() >= c.walked / 16384);
    }
}

void TestScanSession::stopAndResume_data()
{
    QTest::addColumn<int>("stopAt"); // in the batch of this result; -1: after the last
    QTest::addColumn<bool>("focusOnStart");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("resumed"); // the second run keeps the first one's lines

    QTest::newRow("Stop keeps its whole batch; Resume goes on after it, appending to the log")
        << 3 << false << true << true;
    QTest::newRow("focus on Start makes the next run fresh") << 3 << true << true << false;
    QTest::newRow("a Stop after the last address stopped nothing: Start again begins there, "
                  "without Overwrite appending to the log")
        << -1 << false << false << false;
}

void TestScanSession::stopAndResume()
{
    QFETCH(int, stopAt);
    QFETCH(bool, focusOnStart);
    QFETCH(bool, overwrite);
    QFETCH(bool, resumed);

    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.2.10"_s, true, false, true);
        request.overwrite = overwrite;
        request.logFileName = u"  "_s; // a blank name takes the default
        auto *walk = s.session.findChild<ScanRun *>();
        qsizetype handed = 0, kept = kAnswering.size();
        bool pressedAfterLast = false;
        const auto stopper = connect(walk, &ScanRun::resultsReady, walk, [&](const auto &batch) {
            if (handed < stopAt && handed + batch.size() >= stopAt) {
                kept = handed + batch.size();
                s.session.requestStop();
            }
            handed += batch.size();
            if (stopAt < 0) // between the walk's end and the session hearing of it
                QTimer::singleShot(0, walk, [&] {
                    if (!walk->isRunning() && s.session.isRunning())
                        s.session.requestStop(), pressedAfterLast = true;
                });
        });
        s.run(request);
        disconnect(stopper);
        QVERIFY(stopAt > 0 || pressedAfterLast);
        QCOMPARE(s.session.stopRequested(), stopAt > 0);
        QCOMPARE(s.list, lines(kAnswering.first(kept)));
        QVERIFY(parallel < 256 || stopAt <= 0 || kept == 5); // .4 and .5 came with .3
        QCOMPARE(s.fileName, u"ipnums.txt"_s);

        if (focusOnStart)
            s.session.startFocused();
        request.startText = s.moves.last();
        s.run(request);
        const QStringList added = kAnswering.mid(qMin(kept, kAnswering.size() - 1));
        QCOMPARE(s.list, lines(resumed ? kAnswering : added));
        QCOMPARE(s.counter, QString::number(s.list.size()) + u" pinged IP Numbers"_s);
        const QStringList logged = resumed || !overwrite ? kAnswering.first(kept) + added : added;
        QCOMPARE(s.log(), lines(logged, true).join(QString()).toLatin1());
    }
}

// Start is refused without echo requests. Closing the window ends a run at once,
// telling nothing of its log; late replies show nothing.
void TestScanSession::refusedAndAborted()
{
    Scan s(256);
    s.prober.available = false;
    QSignalSpy refused(&s.session, &ScanSession::refused);
    QSignalSpy replies(&s.prober, &EchoProber::finished);
    s.list = QStringList{u"kept line"_s};
    ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.200.1"_s, true, false, true);
    request.logFolder = u"/dev"_s, request.logFileName = u"full"_s;
    s.session.start(request);
    QCOMPARE(refused.count(), 1);
    QVERIFY(refused.at(0).at(0).toString().contains(s.prober.unavailableReason()));
    QVERIFY(!s.session.isRunning() && s.controls.isEmpty());
    QCOMPARE(s.list, QStringList{u"kept line"_s});

    s.prober.available = true;
    s.session.start(request);
    QTRY_VERIFY(s.list.size() > 1);
    s.session.abort();
    QVERIFY(s.session.stopRequested() && !s.controls.last().running);
    QCOMPARE(s.failures, QStringList{QString()});
    const QStringList shown = s.list;
    QTRY_COMPARE(replies.size(), s.prober.sent.size());
    QCOMPARE(s.failures.size(), 1);
    QCOMPARE(s.list, shown);
}

void TestScanSession::counterText()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(counterLabelText(5000000000, true), u"5,000,000,000 pinged IP Numbers"_s);
    QLocale::setDefault(QLocale::c()); // a locale that leaves separators out by default
    QCOMPARE(counterLabelText(1234, false), u"1,234 domain names"_s);
}

void TestScanSession::listProbeRun_data()
{
    QTest::addColumn<QStringList>("cancelled"); // a run cancelled first, its replies coming late
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<int>("sent");
    QTest::newRow("one answer per row; a text that is no address is not sent")
        << QStringList() << u"10.0.0.1||x|10.0.0.2|010.000.000.003"_s.split(u'|')
        << QList<bool>{true, false, false, false, true} << 3;
    QTest::newRow("nothing to send ends on a later turn")
        << QStringList() << QStringList{{}, u"x"_s} << QList<bool>{false, false} << 0;
    QTest::newRow("a lost probe is no answer once the grace is over")
        << QStringList() << QStringList{u"10.0.0.1"_s, u"10.0.0.9"_s} << QList<bool>{true, false}
        << 2;
    QTest::newRow("the late replies of a cancelled run do not count")
        << QStringList{u"10.0.0.1"_s} << QStringList{u"10.0.0.9"_s} << QList<bool>{false} << 2;
}

void TestScanSession::listProbeRun()
{
    QFETCH(QStringList, cancelled);
    QFETCH(QStringList, texts);
    QFETCH(QList<bool>, answers);
    FakeEchoProber prober;
    prober.answering = {0x0A000001, 0x0A000003};
    prober.delay = [](quint32 address) { return address == 0x0A000009 ? 600000 : 10; }; // .9 lost
    prober.reportCancelledToo = true;
    IpListProbe probe(prober);
    probe.setGraceMs(50);
    QSignalSpy finished(&probe, &IpListProbe::finished);
    if (!cancelled.isEmpty()) {
        probe.start(cancelled);
        probe.cancel();
    }
    probe.start(texts);
    QCOMPARE(finished.count(), 0);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<QList<bool>>(), answers);
    QTEST(int(prober.sent.size()), "sent");
    QVERIFY(!probe.isRunning());
}

QTEST_GUILESS_MAIN(TestScanSession)
#include "tst_scansession.moc"
