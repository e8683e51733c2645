// The rules of a run, against a prober and a resolver whose answers the test
// chooses. The real ICMP socket and resolver are tested in the lab.

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

const QDateTime kNow(QDate(2026, 12, 5), QTime(15, 26, 8));
const QString kStamp = u"12/05/26 03:26:08 pm"_s;

QString line(const QString &address, const QString &name = QString())
{
    return name.isNull() ? QString(address + u'\t' + kStamp)
                         : QString(address + u'\t' + name + u'\t' + kStamp);
}

QByteArray logLine(const QString &address)
{
    return address.toLatin1() + "      12/05/26 03:26:08 pm\r\n";
}

// What the window shows, kept from the session's signals.
struct Shown
{
    explicit Shown(ScanSession &session)
    {
        QObject::connect(&session, &ScanSession::resultListCleared, [this] { list.clear(); });
        QObject::connect(&session, &ScanSession::resultLinesAdded,
                         [this](const QStringList &lines) { list += lines; });
        QObject::connect(&session, &ScanSession::counterTextChanged,
                         [this](const QString &text) { counter = text; });
        QObject::connect(&session, &ScanSession::currentAddressChanged,
                         [this](const QString &text) { current = text; });
        QObject::connect(&session, &ScanSession::controlsChanged,
                         [this](const RunControls &state) { controls.append(state); });
        QObject::connect(&session, &ScanSession::logFileNameChanged,
                         [this](const QString &name) { fileName = name; });
        QObject::connect(&session, &ScanSession::finished, [this](const QString &failure) {
            ++finished;
            logFailure = failure;
        });
    }
    QStringList list;
    QString counter, current, fileName, logFailure;
    QList<RunControls> controls;
    int finished = 0;
};

} // namespace

class TestScanSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void run_data();
    void run();
    void stopAndResume_data();
    void stopAndResume();
    void stopAfterTheLastAddressLeavesNoFlag();
    void logFile_data();
    void logFile();
    void counterText();
    void refusedWithoutEchoRequests();
    void abortEndsAtOnceWithoutTellingTheLog();

private:
    ScanRequest request(const QString &start, const QString &stop) const;
    void runToEnd(const ScanRequest &request);

    std::unique_ptr<FakeEchoProber> m_prober;
    std::unique_ptr<FakeHostResolver> m_resolver;
    std::unique_ptr<ScanSession> m_session;
    std::unique_ptr<Shown> m_shown;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestScanSession::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_prober = std::make_unique<FakeEchoProber>();
    m_resolver = std::make_unique<FakeHostResolver>();
    m_resolver->reverse = {
        {u"10.0.1.2"_s, u"two"_s}, {u"10.0.1.5"_s, u"five"_s}, {u"10.0.1.6"_s, u"six"_s}};
    for (const char *address :
         {"10.0.1.2", "10.0.1.5", "10.0.1.7", "10.0.2.1", "10.0.2.2", "10.0.2.3", "10.0.2.4",
          "10.0.2.5", "10.0.2.254", "10.0.2.255", "10.0.3.0", "10.0.3.1", "10.0.2.10", "10.0.2.11"})
        m_prober->answering.insert(*parseIPv4Address(QString::fromLatin1(address)));
    m_session = std::make_unique<ScanSession>(*m_prober, *m_resolver);
    m_session->setClock([] { return kNow; });
    m_shown = std::make_unique<Shown>(*m_session);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

ScanRequest TestScanSession::request(const QString &start, const QString &stop) const
{
    ScanRequest request;
    request.startText = start;
    request.stopText = stop;
    request.logFolder = m_dir->path();
    request.logFileName = u"ipnums.txt"_s;
    request.overwrite = true;
    return request;
}

void TestScanSession::runToEnd(const ScanRequest &request)
{
    const int before = m_shown->finished;
    m_session->start(request);
    QTRY_COMPARE(m_shown->finished, before + 1);
    QVERIFY(!m_session->isRunning());
}

void TestScanSession::run_data()
{
    QTest::addColumn<bool>("pingMode");
    QTest::addColumn<bool>("names");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("currentAfter");
    QTest::addColumn<int>("capacity");

    const auto row = [](const char *name, bool ping, bool names, const QString &start,
                        const QString &stop, const QStringList &lines, const QString &after,
                        int capacity = kResultListCapacity) {
        QTest::newRow(name) << ping << names << start << stop << lines << after << capacity;
    };
    row("only the answering are listed", true, false, u"10.0.1.1"_s, u"10.0.1.3"_s,
        {line(u"10.0.1.2"_s)}, u"10.0.1.3"_s);
    row("nothing answers", true, false, u"10.0.1.8"_s, u"10.0.1.12"_s, {}, u"10.0.1.12"_s);
    row("start equals stop", true, false, u"10.0.2.1"_s, u"10.0.2.1"_s, {line(u"10.0.2.1"_s)},
        u"10.0.2.1"_s);
    row("stop below start handles the start only", true, false, u"10.0.2.3"_s, u"10.0.2.1"_s,
        {line(u"10.0.2.3"_s)}, u"10.0.2.3"_s);
    row("blank stop handles the start only", true, false, u"10.0.2.3"_s, QString(),
        {line(u"10.0.2.3"_s)}, u"10.0.2.3"_s);
    row("blank start lists nothing", true, false, QString(), u"10.0.2.3"_s, {}, QString());
    row("carry into the third octet", true, false, u"10.0.2.254"_s, u"10.0.3.1"_s,
        {line(u"10.0.2.254"_s), line(u"10.0.2.255"_s), line(u"10.0.3.0"_s), line(u"10.0.3.1"_s)},
        u"10.0.3.1"_s);
    row("leading zeros are decimal and kept as typed", true, false, u"010.000.002.010"_s,
        u"10.0.2.11"_s, {line(u"010.000.002.010"_s), line(u"010.000.002.11"_s)},
        u"010.000.002.11"_s);
    row("names, a silent named address left out", true, true, u"10.0.1.1"_s, u"10.0.1.7"_s,
        {line(u"10.0.1.2"_s, u"two"_s), line(u"10.0.1.5"_s, u"five"_s), line(u"10.0.1.7"_s, u""_s)},
        u"10.0.1.7"_s);
    row("Get Domain lists the named only", false, true, u"10.0.1.1"_s, u"10.0.1.9"_s,
        {u"10.0.1.2\ttwo"_s, u"10.0.1.5\tfive"_s, u"10.0.1.6\tsix"_s}, u"10.0.1.9"_s);
    row("Get Domain without names lists nothing", false, false, u"10.0.1.1"_s, u"10.0.1.6"_s, {},
        u"10.0.1.6"_s);
    row("a full list starts anew with the line that found it full", true, false, u"10.0.2.1"_s,
        u"10.0.2.5"_s, {line(u"10.0.2.4"_s), line(u"10.0.2.5"_s)}, u"10.0.2.5"_s, 3);
    row("a list of one line", true, false, u"10.0.2.1"_s, u"10.0.2.3"_s, {line(u"10.0.2.3"_s)},
        u"10.0.2.3"_s, 1);
    row("an exactly full list is kept", true, false, u"10.0.2.1"_s, u"10.0.2.3"_s,
        {line(u"10.0.2.1"_s), line(u"10.0.2.2"_s), line(u"10.0.2.3"_s)}, u"10.0.2.3"_s, 3);
}

void TestScanSession::run()
{
    QFETCH(bool, pingMode);
    QFETCH(bool, names);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QStringList, lines);
    QFETCH(QString, currentAfter);
    QFETCH(int, capacity);

    m_session->setResultListCapacity(capacity);
    // Get Domain sends no echo request, so it runs without them.
    m_prober->available = pingMode;
    m_shown->list = QStringList{u"line of an earlier run"_s};
    ScanRequest asked = request(start, stop);
    asked.pingMode = pingMode;
    asked.namesWanted = names;
    runToEnd(asked);

    QCOMPARE(m_shown->list, lines);
    QCOMPARE(m_session->resultCount(), lines.size());
    QCOMPARE(m_shown->counter, lines.isEmpty()
                                   ? QString()
                                   : QString::number(lines.size()) +
                                         (pingMode ? u" pinged IP Numbers"_s : u" domain names"_s));
    QCOMPARE(m_shown->current, currentAfter);
    QVERIFY(!m_session->stopRequested());
    QCOMPARE(m_shown->controls.size(), 2);
    QVERIFY(m_shown->controls.first().running);
    const RunControls end = m_shown->controls.last();
    QVERIFY(!end.running);
    QCOMPARE(end.resultsListed, !lines.isEmpty());
    QCOMPARE(end.resultToolTip,
             names && !lines.isEmpty() ? u" Double-click on domain to load "_s : QString());
    // One lookup per address before its probe when names are wanted, and no
    // probe at all in Get Domain mode.
    QCOMPARE(m_resolver->reverseAsked().isEmpty(), !names || start.isEmpty());
    QCOMPARE(m_prober->sent.isEmpty(), !pingMode || start.isEmpty());
    if (!m_prober->sent.isEmpty()) {
        QCOMPARE(m_prober->lastTtl, 128);
        QCOMPARE(m_prober->lastTimeoutMs, 200);
    }
}

void TestScanSession::stopAndResume_data()
{
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("focusOnStart");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("log");

    const QStringList all{line(u"10.0.2.1"_s), line(u"10.0.2.2"_s), line(u"10.0.2.3"_s),
                          line(u"10.0.2.4"_s), line(u"10.0.2.5"_s)};
    QTest::newRow("Resume continues where Stop left, appending to the log")
        << true << false << all
        << logLine(u"10.0.2.1"_s) + logLine(u"10.0.2.2"_s) + logLine(u"10.0.2.3"_s) +
               logLine(u"10.0.2.4"_s) + logLine(u"10.0.2.5"_s);
    QTest::newRow("focus on Start makes the next run fresh")
        << true << true
        << QStringList{line(u"10.0.2.3"_s), line(u"10.0.2.4"_s), line(u"10.0.2.5"_s)}
        << logLine(u"10.0.2.3"_s) + logLine(u"10.0.2.4"_s) + logLine(u"10.0.2.5"_s);
    QTest::newRow("Resume without a Stop starts afresh at the last address")
        << false << false << QStringList{line(u"10.0.2.5"_s)} << logLine(u"10.0.2.5"_s);
}

void TestScanSession::stopAndResume()
{
    QFETCH(bool, stop);
    QFETCH(bool, focusOnStart);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, log);

    ScanRequest asked = request(u"10.0.2.1"_s, u"10.0.2.5"_s);
    asked.loggingOn = true;
    m_session->setParallel(1);
    QMetaObject::Connection stopAtThird;
    if (stop) {
        stopAtThird = connect(m_session.get(), &ScanSession::currentAddressChanged, this,
                              [this, &stopAtThird](const QString &text) {
                                  if (text == u"10.0.2.3"_s) {
                                      m_session->requestStop();
                                      disconnect(stopAtThird);
                                  }
                              });
    }
    runToEnd(asked);
    QCOMPARE(m_session->stopRequested(), stop);
    if (stop) {
        QCOMPARE(m_shown->current, u"10.0.2.3"_s);
        QCOMPARE(m_shown->list, (QStringList{line(u"10.0.2.1"_s), line(u"10.0.2.2"_s)}));
    }
    if (focusOnStart)
        m_session->startFocused();
    asked.startText = m_shown->current;
    runToEnd(asked);
    QCOMPARE(m_shown->list, lines);
    QCOMPARE(m_shown->counter, QString::number(lines.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(readFile(m_dir->path() + u"/ipnums.txt"_s), log);
}

void TestScanSession::stopAfterTheLastAddressLeavesNoFlag()
{
    // Stop lands after the walk has handled its last address, before the
    // session hears of the end: that stopped nothing.
    auto *walk = m_session->findChild<ScanRun *>();
    QVERIFY(walk);
    bool pressed = false;
    connect(walk, &ScanRun::resultReady, this, [&] {
        QTimer::singleShot(0, this, [&] {
            if (!pressed && !walk->isRunning() && m_session->isRunning()) {
                pressed = true;
                m_session->requestStop();
            }
        });
    });
    runToEnd(request(u"10.0.2.1"_s, u"10.0.2.1"_s));
    QVERIFY(pressed);
    QVERIFY(!m_session->stopRequested());
}

void TestScanSession::logFile_data()
{
    QTest::addColumn<bool>("logging");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("pingMode");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("failure");

    const QByteArray old = "old line\r\n";
    const QByteArray two = logLine(u"10.0.2.1"_s) + logLine(u"10.0.2.2"_s);
    const auto row = [](const char *name, bool logging, bool overwrite, bool ping,
                        const QString &folder, const QString &file, const QString &start,
                        const QByteArray &before, const QByteArray &after,
                        const QString &failure = QString()) {
        QTest::newRow(name) << logging << overwrite << ping << folder << file << start << before
                            << after << failure;
    };
    row("a fresh run overwrites", true, true, true, {}, u"ipnums.txt"_s, u"10.0.2.1"_s, old, two);
    row("without Overwrite appends", true, false, true, {}, u"ipnums.txt"_s, u"10.0.2.1"_s, old,
        old + two);
    row("created when missing", true, false, true, {}, u"ipnums.txt"_s, u"10.0.2.1"_s, {}, two);
    row("a blank name takes the default", true, true, true, {}, u"  "_s, u"10.0.2.1"_s, {}, two);
    row("logging off writes nothing", false, true, true, {}, u"ipnums.txt"_s, u"10.0.2.1"_s, old,
        old);
    row("no answer still empties the file", true, true, true, {}, u"ipnums.txt"_s, u"10.0.1.8"_s,
        old, {});
    row("domain lines", true, true, false, {}, u"ipnums.txt"_s, u"10.0.1.1"_s, {},
        "10.0.1.2   two\r\n");
    row("a full disk is told", true, false, true, u"/dev"_s, u"full"_s, u"10.0.2.1"_s, {}, {},
        u"/dev/full"_s);
    row("a folder in the file's place is told", true, false, true, {}, u"sub"_s, u"10.0.2.1"_s, {},
        {}, u"sub"_s);
}

void TestScanSession::logFile()
{
    QFETCH(bool, logging);
    QFETCH(bool, overwrite);
    QFETCH(bool, pingMode);
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QFETCH(QString, start);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, failure);

    const QString path = m_dir->path() + u"/ipnums.txt"_s;
    if (!before.isEmpty())
        QVERIFY(writeFile(path, before));
    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    ScanRequest asked = request(start, start.section(u'.', 0, 2) + u".2"_s);
    asked.loggingOn = logging;
    asked.overwrite = overwrite;
    asked.pingMode = pingMode;
    asked.namesWanted = !pingMode;
    asked.logFileName = fileName;
    if (!folder.isEmpty())
        asked.logFolder = folder;
    runToEnd(asked);

    QCOMPARE(m_shown->fileName, fileName.trimmed().isEmpty() ? u"ipnums.txt"_s : QString());
    QVERIFY2(m_shown->logFailure.contains(failure), qPrintable(m_shown->logFailure));
    QCOMPARE(m_shown->logFailure.isEmpty(), failure.isEmpty());
    if (failure.isEmpty())
        QCOMPARE(readFile(path), after);
    QCOMPARE(m_shown->list.size(), pingMode ? 2 - int(start.endsWith(u".8"_s)) * 2 : 1);
}

void TestScanSession::counterText()
{
    QCOMPARE(counterLabelText(5000000000, true), u"5,000,000,000 pinged IP Numbers"_s);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(counterLabelText(1234, true), u"1.234 pinged IP Numbers"_s);
    // Also where the locale leaves separators out by default.
    QLocale::setDefault(QLocale::c());
    QCOMPARE(counterLabelText(1234, false), u"1,234 domain names"_s);
}

void TestScanSession::refusedWithoutEchoRequests()
{
    m_prober->available = false;
    QSignalSpy refused(m_session.get(), &ScanSession::refused);
    m_shown->list = QStringList{u"kept line"_s};
    m_session->start(request(u"10.0.2.1"_s, u"10.0.2.3"_s));
    QCOMPARE(refused.count(), 1);
    QVERIFY(refused.at(0).at(0).toString().contains(m_prober->unavailableReason()));
    QVERIFY(!m_session->isRunning());
    QVERIFY(m_shown->controls.isEmpty());
    QCOMPARE(m_shown->list, QStringList{u"kept line"_s});
}

void TestScanSession::abortEndsAtOnceWithoutTellingTheLog()
{
    m_prober->delay = [](quint32) { return 20; };
    ScanRequest asked = request(u"10.0.2.1"_s, u"10.0.200.1"_s);
    asked.loggingOn = true;
    asked.logFolder = u"/dev"_s;
    asked.logFileName = u"full"_s;
    m_session->start(asked);
    QTRY_VERIFY(!m_shown->list.isEmpty());
    m_session->abort();
    QCOMPARE(m_shown->finished, 1);
    QCOMPARE(m_shown->logFailure, QString());
    QVERIFY(m_session->stopRequested());
    QVERIFY(!m_shown->controls.last().running);
    // The walk's own late end changes nothing any more.
    const QStringList atAbort = m_shown->list;
    QTest::qWait(100);
    QCOMPARE(m_shown->finished, 1);
    QCOMPARE(m_shown->list, atAbort);
}

QTEST_GUILESS_MAIN(TestScanSession)
#include "tst_scansession.moc"
