// The rules of a range scan from Start to its end, against a prober and a
// resolver whose answers the test chooses: what is walked, listed, counted and
// logged, Stop and Resume. The real socket and resolver are tested in the lab.

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

QString line(const QString &address, const QString &name = QString())
{
    return address + u'\t' + (name.isNull() ? QString() : name + u'\t') + kStamp;
}

// Ping lines without names, for the list or (with @p log) the log file.
QStringList lines(const QStringList &addresses, bool log = false)
{
    QStringList out;
    for (const QString &address : addresses)
        out << (log ? address + u"      "_s + kStamp + u"\r\n"_s : line(address));
    return out;
}

QByteArray logLines(const QStringList &addresses)
{
    return lines(addresses, true).join(QString()).toLatin1();
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
        for (const char *address :
             {"10.0.1.2", "10.0.1.5", "10.0.1.7", "10.0.1.255", "10.0.2.1", "10.0.2.2", "10.0.2.3",
              "10.0.2.4", "10.0.2.5", "10.0.2.10", "10.0.2.254", "10.0.2.255", "10.0.3.0",
              "10.0.3.1", "255.255.255.255"})
            prober.answering.insert(*parseIPv4Address(QString::fromLatin1(address)));
        resolver.reverse = {
            {u"10.0.1.2"_s, u"two"_s}, {u"10.0.1.5"_s, u"five"_s}, {u"10.0.1.6"_s, u"six"_s}};
        session.setParallel(parallel);
        session.setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        ScanSession *s = &session;
        QObject::connect(s, &ScanSession::resultListCleared, [this] { list.clear(); });
        QObject::connect(s, &ScanSession::resultLinesAdded, [this](auto added) { list += added; });
        QObject::connect(s, &ScanSession::counterTextChanged,
                         [this](auto text) { counter = text; });
        QObject::connect(s, &ScanSession::currentAddressChanged, [this](auto a) { current = a; });
        QObject::connect(s, &ScanSession::controlsChanged, [this](auto c) { controls << c; });
        QObject::connect(s, &ScanSession::logFileNameChanged, [this](auto n) { fileName = n; });
        QObject::connect(s, &ScanSession::finished, [this](const QString &failure) {
            ++finished;
            logFailure = failure;
        });
    }
    ScanRequest request(const QString &start, const QString &stop, bool ping = true,
                        bool names = false) const
    {
        return {start, stop, ping, names, false, true, dir.path(), u"ipnums.txt"_s};
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
        QTRY_COMPARE_WITH_TIMEOUT(finished, before + 1, 60000);
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
    void logFile_data();
    void logFile();
    void counterText();
    void refusedWithoutEchoRequests();
    void abortEndsAtOnceWithoutTellingTheLog();
};

void TestScanSession::run_data()
{
    QTest::addColumn<bool>("ping");
    QTest::addColumn<bool>("names");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("walked");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("after"); // the start field at the end
    QTest::addColumn<int>("capacity");

    const auto row = [](const char *name, bool ping, bool names, const QString &start,
                        const QString &stop, int walked, const QStringList &listed,
                        const QString &after, int capacity = kResultListCapacity) {
        QTest::newRow(name) << ping << names << start << stop << walked << listed << after
                            << capacity;
    };
    row("only the answering are listed", true, false, u"10.0.1.1"_s, u"10.0.1.3"_s, 3,
        lines({u"10.0.1.2"_s}), u"10.0.1.3"_s);
    row("nothing answers", true, false, u"10.0.1.8"_s, u"10.0.1.12"_s, 5, {}, u"10.0.1.12"_s);
    row("stop below start handles the start only", true, false, u"10.0.2.3"_s, u"10.0.2.1"_s, 1,
        lines({u"10.0.2.3"_s}), u"10.0.2.3"_s);
    row("carry into the third octet", true, false, u"10.0.2.254"_s, u"10.0.3.1"_s, 4,
        lines({u"10.0.2.254"_s, u"10.0.2.255"_s, u"10.0.3.0"_s, u"10.0.3.1"_s}), u"10.0.3.1"_s);
    row("the last address ends the walk", true, false, u"255.255.255.250"_s, u"255.255.255.255"_s,
        6, lines({u"255.255.255.255"_s}), u"255.255.255.255"_s);
    row("leading zeros are decimal and kept as typed", true, false, u"010.000.001.254"_s,
        u"010.000.002.001"_s, 4, lines({u"010.000.001.255"_s, u"010.000.2.1"_s}), u"010.000.2.1"_s);
    row("names for every address, a silent named one left out", true, true, u"10.0.1.1"_s,
        u"10.0.1.7"_s, 7,
        {line(u"10.0.1.2"_s, u"two"_s), line(u"10.0.1.5"_s, u"five"_s), line(u"10.0.1.7"_s, u""_s)},
        u"10.0.1.7"_s);
    row("Get Domain lists the named only", false, true, u"10.0.1.1"_s, u"10.0.1.9"_s, 9,
        {u"10.0.1.2\ttwo"_s, u"10.0.1.5\tfive"_s, u"10.0.1.6\tsix"_s}, u"10.0.1.9"_s);
    row("Get Domain without names lists nothing, letting events through", false, false,
        u"10.0.0.0"_s, u"10.3.255.255"_s, 1 << 18, {}, u"10.3.255.255"_s);
    row("a full list starts anew with the line that finds it full", true, false, u"10.0.2.1"_s,
        u"10.0.2.5"_s, 5, lines({u"10.0.2.4"_s, u"10.0.2.5"_s}), u"10.0.2.5"_s, 3);
    row("an exactly full list is kept", true, false, u"10.0.2.1"_s, u"10.0.2.3"_s, 3,
        lines({u"10.0.2.1"_s, u"10.0.2.2"_s, u"10.0.2.3"_s}), u"10.0.2.3"_s, 3);
}

// One address at a time or many in flight, a run gives the same result.
void TestScanSession::run()
{
    QFETCH(bool, ping);
    QFETCH(bool, names);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(int, walked);
    QFETCH(QStringList, listed);
    QFETCH(QString, after);
    QFETCH(int, capacity);

    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        s.session.setResultListCapacity(capacity);
        s.prober.available = ping; // Get Domain sends no echo request, so it runs without them
        s.list = QStringList{u"line of an earlier run"_s};
        s.run(s.request(start, stop, ping, names));

        QCOMPARE(s.list, listed);
        QCOMPARE(s.session.resultCount(), listed.size());
        QCOMPARE(s.counter, listed.isEmpty()
                                ? QString()
                                : QString::number(listed.size()) +
                                      (ping ? u" pinged IP Numbers"_s : u" domain names"_s));
        QCOMPARE(s.current, after);
        QVERIFY(!s.session.stopRequested());
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
        QVERIFY2(s.turns >= walked / 16384, qPrintable(QString::number(s.turns)));
    }
}

void TestScanSession::stopAndResume_data()
{
    QTest::addColumn<int>("stopAt"); // the result at which Stop is pressed; -1: after the last
    QTest::addColumn<bool>("focusOnStart");
    QTest::addColumn<QStringList>("listed"); // and logged, after the second run

    // From 10.0.2.1 to 10.0.2.10: .1 to .5 and .10 answer.
    QTest::newRow("Resume continues at the first address not listed, appending to the log")
        << 2 << false << QStringList{u"10.0.2.1"_s, u"10.0.2.2"_s, u"10.0.2.3"_s,
                                     u"10.0.2.4"_s, u"10.0.2.5"_s, u"10.0.2.10"_s};
    QTest::newRow("focus on Start makes the next run fresh")
        << 2 << true << QStringList{u"10.0.2.3"_s, u"10.0.2.4"_s, u"10.0.2.5"_s, u"10.0.2.10"_s};
    QTest::newRow("Resume without a Stop starts afresh at the last address")
        << 0 << false << QStringList{u"10.0.2.10"_s};
    QTest::newRow("a Stop after the last address stopped nothing")
        << -1 << false << QStringList{u"10.0.2.10"_s};
}

void TestScanSession::stopAndResume()
{
    QFETCH(int, stopAt);
    QFETCH(bool, focusOnStart);
    QFETCH(QStringList, listed);

    const QStringList answering{u"10.0.2.1"_s, u"10.0.2.2"_s, u"10.0.2.3"_s,
                                u"10.0.2.4"_s, u"10.0.2.5"_s, u"10.0.2.10"_s};
    for (int parallel : {1, 3, 256}) {
        Scan s(parallel);
        ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.2.10"_s);
        request.loggingOn = true;
        auto *walk = s.session.findChild<ScanRun *>();
        QVERIFY(walk);
        int results = 0;
        bool pressed = false;
        const auto press = [&] {
            pressed = true;
            s.session.requestStop();
        };
        const auto stopper = connect(walk, &ScanRun::resultReady, walk, [&] {
            if (++results == stopAt)
                press();
            // Between the walk's end and the session hearing of it.
            if (stopAt < 0)
                QTimer::singleShot(0, walk, [&] {
                    if (!walk->isRunning() && s.session.isRunning())
                        press();
                });
        });
        s.run(request);
        disconnect(stopper);
        QCOMPARE(pressed, stopAt != 0);
        QCOMPARE(s.session.stopRequested(), stopAt > 0);
        QCOMPARE(s.list, lines(stopAt > 0 ? answering.mid(0, stopAt) : answering));
        QCOMPARE(s.current, stopAt > 0 ? answering.at(stopAt) : answering.last());

        if (focusOnStart)
            s.session.startFocused();
        request.startText = s.current;
        s.run(request);
        QCOMPARE(s.list, lines(listed));
        QCOMPARE(s.counter, QString::number(listed.size()) + u" pinged IP Numbers"_s);
        QCOMPARE(s.log(), logLines(listed));
    }
}

void TestScanSession::logFile_data()
{
    QTest::addColumn<bool>("logging");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("ping"); // Get Domain: names from 10.0.1.1 to 10.0.1.2
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("after"); // the file held "old line"
    QTest::addColumn<QString>("failure");

    const QByteArray old = "old line\r\n";
    const QByteArray two = logLines({u"10.0.2.1"_s, u"10.0.2.2"_s});
    const auto row = [](const char *name, bool logging, bool overwrite, bool ping,
                        const QString &folder, const QString &file, const QByteArray &after,
                        const QString &failure = QString()) {
        QTest::newRow(name) << logging << overwrite << ping << folder << file << after << failure;
    };
    row("without Overwrite appends", true, false, true, {}, u"ipnums.txt"_s, old + two);
    row("logging off writes nothing", false, true, true, {}, u"ipnums.txt"_s, old);
    row("a blank name takes the default", true, true, true, {}, u"  "_s, two);
    row("domain lines", true, true, false, {}, u"ipnums.txt"_s, "10.0.1.2   two\r\n");
    row("a full disk is told at the end", true, false, true, u"/dev"_s, u"full"_s, old,
        u"/dev/full"_s);
}

void TestScanSession::logFile()
{
    QFETCH(bool, logging);
    QFETCH(bool, overwrite);
    QFETCH(bool, ping);
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, after);
    QFETCH(QString, failure);

    Scan s(256);
    QVERIFY(writeFile(s.dir.filePath(u"ipnums.txt"_s), "old line\r\n"));
    const QString start = ping ? u"10.0.2.1"_s : u"10.0.1.1"_s;
    ScanRequest request = s.request(start, start.chopped(1) + u'2', ping, !ping);
    request.loggingOn = logging;
    request.overwrite = overwrite;
    request.logFileName = fileName;
    if (!folder.isEmpty())
        request.logFolder = folder;
    s.run(request);

    QCOMPARE(s.fileName, fileName.trimmed().isEmpty() ? u"ipnums.txt"_s : QString());
    QVERIFY2(s.logFailure.contains(failure), qPrintable(s.logFailure));
    QCOMPARE(s.logFailure.isEmpty(), failure.isEmpty());
    QCOMPARE(s.log(), after);
}

void TestScanSession::counterText()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(counterLabelText(5000000000, true), u"5,000,000,000 pinged IP Numbers"_s);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(counterLabelText(1234, true), u"1.234 pinged IP Numbers"_s);
    // Also where the locale leaves separators out by default.
    QLocale::setDefault(QLocale::c());
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
    QVERIFY(!s.session.isRunning());
    QVERIFY(s.controls.isEmpty());
    QCOMPARE(s.list, QStringList{u"kept line"_s});
}

void TestScanSession::abortEndsAtOnceWithoutTellingTheLog()
{
    Scan s(256);
    QSignalSpy replies(&s.prober, &EchoProber::finished);
    ScanRequest request = s.request(u"10.0.2.1"_s, u"10.0.200.1"_s);
    request.loggingOn = true;
    request.logFolder = u"/dev"_s;
    request.logFileName = u"full"_s;
    s.session.start(request);
    QTRY_VERIFY(!s.list.isEmpty());
    s.session.abort();
    QCOMPARE(s.finished, 1);
    QCOMPARE(s.logFailure, QString());
    QVERIFY(s.session.stopRequested());
    QVERIFY(!s.controls.last().running);
    // Every probe has answered, the dropped ones too: nothing of it shows.
    const QStringList atAbort = s.list;
    QTRY_COMPARE(replies.size(), s.prober.sent.size());
    QCOMPARE(s.finished, 1);
    QCOMPARE(s.list, atAbort);
}

QTEST_GUILESS_MAIN(TestScanSession)
#include "tst_scansession.moc"
