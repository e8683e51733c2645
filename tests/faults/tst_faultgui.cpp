// The main window over real files whose folder or disk fails, and over real
// echo requests on loopback with Stop and Resume pressed at any moment.

#include "../mainwindow/mainwindowfixture.h"
#include "dialoganswerer.h"
#include "scanrun.h"

#include <QTimer>

namespace {

// 127.0.x.y numbered from 127.0.0.0.
QStringList addresses(int first, int last)
{
    QStringList result;
    for (int i = first; i <= last; ++i)
        result.append(u"127.0.%1.%2"_s.arg(i / 256).arg(i % 256));
    return result;
}

struct OnEvent : QObject
{
    std::function<void()> handle;
    bool eventFilter(QObject *, QEvent *) override
    {
        handle();
        return false;
    }
};

} // namespace

class TestFaultGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_f = std::make_unique<MainWindowFixture>(); }
    void init() { m_f->reset(); }
    void cleanup()
    {
        m_f->window.reset();
        while (!m_mounts.isEmpty())
            umount2(QFile::encodeName(m_mounts.takeLast()).constData(), MNT_DETACH);
        QDir(m_scratch.path()).removeRecursively();
    }
    void failuresAreTold_data();
    void failuresAreTold();
    void manyStopsAndResumes_data();
    void manyStopsAndResumes();

private:
    std::unique_ptr<MainWindowFixture> m_f;
    QTemporaryDir m_scratch;
    QStringList m_mounts;
};

void TestFaultGui::failuresAreTold_data()
{
    QTest::addColumn<QString>("fault"); // of the log between two runs, or during one
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder deleted, appending") << u"delete"_s << u"No such file"_s;
    QTest::newRow("folder read-only, overwrite keeps the old log")
        << u"ro"_s << u"Read-only file system"_s;
    QTest::newRow("disk fills while overwriting") << u"full"_s << u"No space left on device"_s;
}

// The user is told once, after the beep, when the run has ended; the list
// and the counter are whole, the log holds whole lines only.
void TestFaultGui::failuresAreTold()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    if (fault != u"delete" && geteuid() != 0)
        QSKIP("needs root for read-only and full file systems");
    const QString folder = m_scratch.path() + u"/logs"_s, log = folder + u"/ipnums.txt"_s;
    QVERIFY(QDir().mkpath(folder));
    if (fault == u"full") { // two pages: room for some 220 of the 356 lines
        QCOMPARE(mountOver(folder, false), QString());
        m_mounts.append(folder);
    }
    QVERIFY(m_f->open());
    QVERIFY(m_f->setLog(folder, fault != u"delete"));
    DialogAnswerer told;
    const QStringList first = addresses(513, 516);
    const QStringList second = fault == u"full" ? addresses(513, 868) : addresses(517, 524);
    m_f->answerAll(first.first(), second.last());
    if (fault != u"full") {
        m_f->setRange(first.first(), first.last());
        QVERIFY(m_f->run());
        QCOMPARE(readFile(log), pingLog(first));
        QCOMPARE(told.texts(), QStringList());
        if (fault == u"delete") {
            QVERIFY(QDir(folder).removeRecursively());
        } else {
            QCOMPARE(mountOver(folder, true), QString());
            m_mounts.append(folder);
        }
    }
    m_f->setRange(second.first(), second.last());
    QTest::mouseClick(m_f->ui("startButton"), Qt::LeftButton);
    QTRY_COMPARE(told.seen().size(), 1);
    QVERIFY(!m_f->window->isRunning() && m_f->ui("startButton")->isEnabled());
    const SeenDialog &box = told.seen().first();
    QCOMPARE(box.title, u"Corvane"_s);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.beeped && !box.waitCursor, "no beep before the message, or the hourglass");
    QVERIFY2(box.text.contains(reason), qPrintable(box.text));
    QVERIFY2(box.text.contains(log), qPrintable(box.text));
    QCOMPARE(m_f->lines(), pingLines(second));
    QCOMPARE(m_f->counter(), QLocale().toString(second.size()) + u" pinged IP Numbers"_s);
    const QByteArray written = readFile(log);
    const QByteArray full = pingLog(second);
    if (fault == u"delete")
        QVERIFY2(!QFileInfo::exists(folder), "a deleted log folder was made again");
    else if (fault == u"ro")
        QCOMPARE(written, pingLog(first));
    else // the start of the full log in whole lines, cut where it filled
        QVERIFY2(written.size() > 4096 && written.size() < full.size() &&
                     full.startsWith(written) && written.endsWith("\r\n"),
                 qPrintable(QString::number(written.size())));
}

void TestFaultGui::manyStopsAndResumes_data()
{
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("stopAtOnce");
    QTest::newRow("one in flight, stop on progress") << 1 << false;
    QTest::newRow("one in flight, stop at once after resume") << 1 << true;
    QTest::newRow("many in flight, stop on progress") << 256 << false;
    QTest::newRow("many in flight, stop at once after resume") << 256 << true;
}

// Forty Stops, each followed by Resume, during one scan: the list holds every
// address once, in order, and the log the same lines. One more Stop lands in
// the moment after the walk handled its last address and before the window
// heard the run end: it stops nothing, so the next Resume starts afresh.
void TestFaultGui::manyStopsAndResumes()
{
    QFETCH(int, parallel);
    QFETCH(bool, stopAtOnce);
    m_f->store(u"Parallel"_s, QString::number(parallel));
    QVERIFY(m_f->open(MainWindowFixture::SystemProber));
    if (!m_f->systemProber->isAvailable())
        QSKIP(qPrintable(u"no echo requests here: "_s + m_f->systemProber->unavailableReason()));
    QTemporaryDir logs;
    QVERIFY(m_f->setLog(logs.path(), true));
    const QStringList expected = addresses(4 * 256 + 1, 19 * 256 + 250);
    m_f->setRange(expected.first(), expected.last());
    DialogAnswerer told;
    auto *run = m_f->window->findChild<ScanRun *>();
    QVERIFY(run);

    QAbstractButton *stop = m_f->ui("stopButton");
    int stops = 0;
    bool stopPending = false, stopped = false, lateStop = false, done = false;
    const auto pressStop = [&] {
        if (std::exchange(stopPending, true) || stops >= 40)
            return;
        QTimer::singleShot(0, m_f->window.get(), [&] {
            stopPending = false;
            if (stop->isEnabled() && run->isRunning()) {
                ++stops;
                stopped = true;
                QTest::mouseClick(stop, Qt::LeftButton);
            }
        });
    };
    // The first event the run gets once it ended by itself comes before the
    // one that tells the window, whatever the addresses' timing.
    OnEvent afterTheWalk;
    afterTheWalk.handle = [&] {
        if (!lateStop && !stopped && !run->isRunning() && m_f->window->isRunning() &&
            stop->isEnabled()) {
            lateStop = true;
            QTest::mouseClick(stop, Qt::LeftButton);
        }
    };
    run->installEventFilter(&afterTheWalk);
    // The start field follows the walk: a change means the run has moved on.
    auto scope = std::make_unique<QObject>();
    connect(m_f->ui<IpAddressEdit>("startAddressEdit"), &IpAddressEdit::textChanged, scope.get(),
            [&] {
                if (m_f->window->isRunning())
                    pressStop();
            });
    // Each line is in the log before it shows in the list.
    bool logBehind = false;
    connect(m_f->ui<QListView>("resultList")->model(), &QAbstractItemModel::rowsInserted,
            scope.get(), [&] {
                logBehind = logBehind || readFile(logs.path() + u"/ipnums.txt"_s).count('\n') <
                                             m_f->lines().size();
            });
    connect(m_f->window.get(), &MainWindow::runFinished, scope.get(), [&] {
        if ((done = !std::exchange(stopped, false)))
            return;
        QTimer::singleShot(0, m_f->window.get(), [&] {
            QTest::mouseClick(m_f->ui("resumeButton"), Qt::LeftButton);
            if (stopAtOnce)
                pressStop();
        });
    });

    QTest::mouseClick(m_f->ui("startButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
    run->removeEventFilter(&afterTheWalk);
    scope.reset();
    QVERIFY(lateStop && !logBehind);
    // With many in flight progress comes in batches; enough Stops must have landed.
    QVERIFY2(stops >= 10, qPrintable(QString::number(stops)));
    QCOMPARE(m_f->lines(), pingLines(expected));
    QCOMPARE(m_f->counter(), QLocale().toString(expected.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(readFile(logs.path() + u"/ipnums.txt"_s), pingLog(expected));
    QCOMPARE(told.texts(), QStringList());
    QVERIFY(m_f->run("resumeButton"));
    QCOMPARE(m_f->lines(), pingLines({expected.last()}));
}

int main(int argc, char **argv)
{
    return runInOwnMounts<TestFaultGui>(argc, argv);
}

#include "tst_faultgui.moc"
