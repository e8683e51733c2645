// The rules of a range scan against a prober and a resolver whose answers the test
// chooses: what is walked, listed, counted and logged, Stop and Resume.

#include "fakeechoprober.h"
#include "fakehostresolver.h"
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
    QString counter, current, fileName, logFailure;
    QList<RunControls> controls;
    int finished = 0;
    int turns = 0; // event-loop turns during the last run

    explicit Scan(int parallel)
    {
        // Replies come out of order, and dropped probes still answer, late.
        prober.delay = [](quint32 address) { return int((address * 7919U) % 13U); };
        prober.reportCancelledToo = true;
        for (const QString &address : kAnswering + u"10.0.1.2 10.0.1.5 10.0.1.7 10.0.1.255 "
                                                   u"10.0.2.254 10.0.2.255 10.0.3.0"_s.split(u' '))
            prober.answering.insert(*parseIPv4Address(address));
        resolver.reverse = {
            {u"10.0.1.2"_s, u"two"_s}, {u"10.0.1.5"_s, u"five"_s}, {u"10.0.1.6"_s, u"six"_s}};
        session.setParallel(parallel);
        session.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        ScanSession *s = &session;
        QObject::connect(s, &ScanSession::resultListCleared, [this] { list.clear(); });
        QObject::connect(s, &ScanSession::resultLinesAdded, [this](auto added) { list += added; });
        QObject::connect(s, &ScanSession::counterTextChanged, [this](auto t) { counter = t; });
        QObject::connect(s, &ScanSession::currentAddressChanged, [this](auto a) { current = a; });
        QObject::connect(s, &ScanSession::controlsChanged, [this](auto c) { controls << c; });
        QObject::connect(s, &ScanSession::logFileNameChanged, [this](auto n) { fileName = n; });
        QObject::connect(s, &ScanSession::finished, [this](auto failure) {
            ++finished;
            logFailure = failure;
        });
    }
    ScanRequest request(const QString &start, const QString &stop, bool ping = true,
                        bool names = false, bool logging = false) const
    {
        return {start, stop, ping, names, logging, true, dir.path(), u"ipnums.txt"_s};
    }
    QByteArray log() const { return readFile(dir.filePath(u"ipnums.txt"_s)); }
    void run(const ScanRequest &request)
    {
        const int before = finished;
        turns = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [this] { ++turns; });
        ticker.start(0);
        session.start(request);
        QTRY_COMPARE_WITH_TIMEOUT(finished, before + 1, 20000);
        QVERIFY(!session.isRunning());
    }
};

} // namespace

class TestScanSession : public QObject
{
    Q_OBJECT
private slots:
    void run_data();
    void run();
    void stopAndResume_data();
    void stopAndResume();
    void abort();
    void counterText();
    void refusedWithoutEchoRequests();
};

void TestScanSession::run_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("walked");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("after"); // the start field at the end
    QTest::addColumn<bool>("ping");
    QTest::addColumn<bool>("names");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QByteArray>("logged"); // the log held "old line"; null: logging is off
    QTest::addColumn<QString>("failure");   // of a log on /dev/full

    const auto row = [](const char *name, const QString &range, int walked,
                        const QStringList &listed, const QString &after, bool ping = true,
                        bool names = false, int capacity = kResultListCapacity,
                        const QByteArray &logged = {}, const QString &failure = {}) {
        QTest::newRow(name) << range.section(u' ', 0, 0) << range.section(u' ', 1) << walked
                            << listed << after << ping << names << capacity << logged << failure;
    };
    row("only the answering are listed", u"10.0.1.1 10.0.1.3"_s, 3, lines({u"10.0.1.2"_s}),
        u"10.0.1.3"_s);
    row("stop below start handles the start only", u"10.0.2.3 10.0.2.1"_s, 1,
        lines({u"10.0.2.3"_s}), u"10.0.2.3"_s);
    row("leading zeros are decimal and kept as typed", u"010.000.001.254 010.000.002.001"_s, 4,
        lines({u"010.000.001.255"_s, u"010.000.2.1"_s}), u"010.000.2.1"_s);
    row("names for every address, a silent named one left out", u"10.0.1.1 10.0.1.7"_s, 7,
        {u"10.0.1.2\ttwo\t"_s + kStamp, u"10.0.1.5\tfive\t"_s + kStamp, u"10.0.1.7\t\t"_s + kStamp},
        u"10.0.1.7"_s, true, true);
    row("Get Domain lists and logs the named only", u"10.0.1.1 10.0.1.9"_s, 9,
        {u"10.0.1.2\ttwo"_s, u"10.0.1.5\tfive"_s, u"10.0.1.6\tsix"_s}, u"10.0.1.9"_s, false, true,
        kResultListCapacity, "10.0.1.2   two\r\n10.0.1.5   five\r\n10.0.1.6   six\r\n");
    row("a full disk is told once, at the end", u"10.0.2.1 10.0.2.2"_s, 2,
        lines({u"10.0.2.1"_s, u"10.0.2.2"_s}), u"10.0.2.2"_s, true, false, kResultListCapacity,
        "old line\r\n", u"Cannot write /dev/full: No space left on device"_s);
    row("a fourth octet of 256 handles only the start", u"10.0.1.256 10.0.2.9"_s, 1, {},
        u"10.0.1.256"_s, false, true);
    row("Get Domain without names lists nothing, letting events through",
        u"10.0.0.0 10.3.255.255"_s, 1 << 18, {}, u"10.3.255.255"_s, false);
    row("a full list starts anew with the line that finds it full", u"10.0.2.1 10.0.2.5"_s, 5,
        lines({u"10.0.2.4"_s, u"10.0.2.5"_s}), u"10.0.2.5"_s, true, false, 3);
}

// One address at a time or many in flight, a run gives the same result.
void TestScanSession::run()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, walked);
    QFETCH(QStringList, listed);
    QFETCH(QString, after);
    QFETCH(bool, ping);
    QFETCH(bool, names);
    QFETCH(int, capacity);
    QFETCH(QByteArray, logged);
    QFETCH(QString, failure);

    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        s.session.setResultListCapacity(capacity);
        s.prober.available = ping; // Get Domain sends no echo request, so it runs without them
        s.list = QStringList{u"line of an earlier run"_s};
        QVERIFY(writeFile(s.dir.filePath(u"ipnums.txt"_s), "old line\r\n"));
        ScanRequest request = s.request(start, stop, ping, names, !logged.isNull());
        if (!failure.isEmpty())
            request.logFolder = u"/dev"_s, request.logFileName = u"full"_s;
        s.run(request);

        QCOMPARE(s.list, listed);
        QCOMPARE(s.session.resultCount(), listed.size());
        QCOMPARE(s.counter, listed.isEmpty() ? QString() : counterLabelText(listed.size(), ping));
        QCOMPARE(s.current, after);
        QVERIFY(!s.session.stopRequested());
        QCOMPARE(s.log(), logged.isNull() ? "old line\r\n" : logged);
        QCOMPARE(s.logFailure, failure);
        QCOMPARE(s.controls.size(), 2);
        QVERIFY(s.controls.first().running && !s.controls.last().running);
        QCOMPARE(s.controls.last().resultsListed, !listed.isEmpty());
        QCOMPARE(s.controls.last().resultToolTip,
                 names && !listed.isEmpty() ? u" Double-click on domain to load "_s : QString());
        QCOMPARE(s.prober.sent.size(), ping ? walked : 0);
        QCOMPARE(s.prober.ttlAndTimeout.count({128, 200}), s.prober.sent.size());
        QCOMPARE(s.resolver.reverseAsked().size(), names ? walked : 0);
        QVERIFY(s.prober.maxInFlight <= parallel);
        QCOMPARE(s.prober.maxInFlight > 1, ping && parallel > 1 && walked > 1);
        QVERIFY(s.turns >= walked / 16384);
    }
}

void TestScanSession::stopAndResume_data()
{
    QTest::addColumn<int>(
        "stopAt"); // Stop in the batch of this result; 0: none; -1: after the last
    QTest::addColumn<bool>("focusOnStart");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("resumed"); // the second run keeps the first one's lines

    QTest::newRow("Stop keeps its whole batch; Resume goes on after it, appending to the log")
        << 3 << false << true << true;
    QTest::newRow("focus on Start makes the next run fresh") << 3 << true << true << false;
    QTest::newRow("Resume without a Stop starts afresh at the last address, without Overwrite "
                  "appending to the log")
        << 0 << false << false << false;
    QTest::newRow("a Stop after the last address stopped nothing") << -1 << false << true << false;
}

void TestScanSession::stopAndResume()
{
    QFETCH(int, stopAt);
    QFETCH(bool, focusOnStart);
    QFETCH(bool, overwrite);
    QFETCH(bool, resumed);

    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        // The last address answers late: the batch Stop comes in never holds it.
        s.prober.delay = [](quint32 a) { return a % 256 == 10 ? 50 : int((a * 7919U) % 13U); };
        ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.2.10"_s, true, false, true);
        request.overwrite = overwrite;
        request.logFileName = u"  "_s; // a blank name takes the default
        auto *walk = s.session.findChild<ScanRun *>();
        QVERIFY(walk);
        qsizetype handed = 0, kept = kAnswering.size(), pressed = 0;
        const auto press = [&] {
            ++pressed;
            s.session.requestStop();
        };
        const auto stopper = connect(walk, &ScanRun::resultsReady, walk, [&](const auto &batch) {
            if (handed < stopAt && handed + batch.size() >= stopAt) {
                kept = handed + batch.size();
                press();
            }
            handed += batch.size();
            if (stopAt < 0) // between the walk's end and the session hearing of it
                QTimer::singleShot(0, walk, [&] {
                    if (!walk->isRunning() && s.session.isRunning())
                        press();
                });
        });
        s.run(request);
        disconnect(stopper);
        QCOMPARE(pressed > 0, stopAt != 0);
        QCOMPARE(s.session.stopRequested(), stopAt > 0);
        QCOMPARE(s.list, lines(kAnswering.first(kept)));
        QVERIFY(parallel < 256 || stopAt <= 0 || kept == 5); // .4 and .5 came with .3
        QCOMPARE(s.fileName, u"ipnums.txt"_s);

        if (focusOnStart)
            s.session.startFocused();
        request.startText = s.current;
        s.run(request);
        const QStringList added = kAnswering.mid(qMin(kept, kAnswering.size() - 1));
        QCOMPARE(s.list, lines(resumed ? kAnswering : added));
        QCOMPARE(s.counter, QString::number(s.list.size()) + u" pinged IP Numbers"_s);
        const QStringList logged = resumed || !overwrite ? kAnswering.first(kept) + added : added;
        QCOMPARE(s.log(), lines(logged, true).join(QString()).toLatin1());
    }
}

// Closing the window ends the run at once, telling nothing; late replies show nothing.
void TestScanSession::abort()
{
    Scan s(256);
    QSignalSpy replies(&s.prober, &EchoProber::finished);
    ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.200.1"_s, true, false, true);
    request.logFolder = u"/dev"_s, request.logFileName = u"full"_s;
    s.session.start(request);
    QTRY_VERIFY(!s.list.isEmpty());
    s.session.abort();
    QVERIFY(s.session.stopRequested() && !s.controls.last().running);
    QCOMPARE(s.finished, 1);
    QCOMPARE(s.logFailure, QString());
    const QStringList shown = s.list;
    QTRY_COMPARE(replies.size(), s.prober.sent.size());
    QCOMPARE(s.finished, 1);
    QCOMPARE(s.list, shown);
}

void TestScanSession::counterText()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(counterLabelText(5000000000, true), u"5,000,000,000 pinged IP Numbers"_s);
    QLocale::setDefault(QLocale::c()); // a locale that leaves separators out by default
    QCOMPARE(counterLabelText(1234, false), u"1,234 domain names"_s);
}

void TestScanSession::refusedWithoutEchoRequests()
{
    Scan s(256);
    s.prober.available = false;
    QSignalSpy refused(&s.session, &ScanSession::refused);
    s.list = QStringList{u"kept line"_s};
    s.session.start(s.request(u"10.0.2.1"_s, u"10.0.2.3"_s));
    QCOMPARE(refused.count(), 1);
    QVERIFY(refused.at(0).at(0).toString().contains(s.prober.unavailableReason()));
    QVERIFY(!s.session.isRunning() && s.controls.isEmpty());
    QCOMPARE(s.list, QStringList{u"kept line"_s});
}

QTEST_GUILESS_MAIN(TestScanSession)
#include "tst_scansession.moc"
