// The main window over real files and real echo requests on loopback (where
// every address answers), with what lies underneath failing: the log's folder
// or disk, the settings file; and Stop and Resume pressed at any moment.
// Whatever happens, the list, the counter and the log agree, and the user is
// told once, after the beep. Failing mounts need root; those rows skip otherwise.

#include "dialoganswerer.h"
#include "faultwindow.h"
#include "qsettingsstore.h"
#include "scanrun.h"
#include "settingsfileformat.h"
#include "testfiles.h"

#include <QDir>
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

QString pinged(qsizetype count)
{
    return QLocale().toString(count) + u" pinged IP Numbers"_s;
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
    void init()
    {
        QVERIFY(settingsFile().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + u'/'));
        QDir(QFileInfo(settingsFile()).path()).removeRecursively();
    }
    void cleanup()
    {
        while (!m_mounts.isEmpty())
            umount2(QFile::encodeName(m_mounts.takeLast()).constData(), MNT_DETACH);
        QDir(m_scratch.path()).removeRecursively();
    }
    void logFails_data();
    void logFails();
    void settingsFileFails_data();
    void settingsFileFails();
    void manyStopsAndResumes_data();
    void manyStopsAndResumes();

private:
    static QString settingsFile() { return QSettingsStore::fileName(u"Corvane"_s); }
    QTemporaryDir m_scratch;
    QStringList m_mounts;
};

void TestFaultGui::logFails_data()
{
    QTest::addColumn<QString>("fault"); // between two runs, or "full" during one
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder deleted, appending") << u"delete"_s << false << u"No such file"_s;
    QTest::newRow("folder deleted, overwriting") << u"delete"_s << true << u"No such file"_s;
    QTest::newRow("folder read-only, appending") << u"ro"_s << false << u"Read-only file system"_s;
    QTest::newRow("folder read-only, overwrite keeps the old log")
        << u"ro"_s << true << u"Read-only file system"_s;
    QTest::newRow("disk fills while logging") << u"full"_s << true << u"No space left on device"_s;
}

void TestFaultGui::logFails()
{
    QFETCH(QString, fault);
    QFETCH(bool, overwrite);
    QFETCH(QString, reason);
    if (geteuid() != 0)
        QSKIP("needs root for read-only and full file systems");
    const QString folder = m_scratch.path() + u"/logs"_s, log = folder + u"/ipnums.txt"_s;
    QVERIFY(QDir().mkpath(folder));
    if (fault == u"full") { // two pages: room for some 220 of the 356 lines
        QCOMPARE(mountOver(folder, false), QString());
        m_mounts.append(folder);
    }
    FaultWindow window;
    QVERIFY(window.open());
    QVERIFY(window.setLog(folder, overwrite));
    DialogAnswerer told;
    const QStringList first = addresses(513, 516);
    const QStringList second = fault == u"full" ? addresses(513, 868) : addresses(517, 524);
    if (fault != u"full") {
        window.setRange(first.first(), first.last());
        QVERIFY(window.run());
        QCOMPARE(readFile(log), pingLog(first));
        QCOMPARE(told.texts(), QStringList());
        if (fault == u"delete") {
            QVERIFY(QDir(folder).removeRecursively());
        } else {
            QCOMPARE(mountOver(folder, true), QString());
            m_mounts.append(folder);
        }
    }
    window.setRange(second.first(), second.last());
    QVERIFY(window.run());

    QCOMPARE(window.lines(), pingLines(second));
    QCOMPARE(window.counter(), pinged(second.size()));
    QCOMPARE(told.seen().size(), 1);
    const SeenDialog &box = told.seen().first();
    QCOMPARE(box.title, u"Corvane"_s);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.beeped, "no beep before the message");
    QVERIFY2(box.text.contains(log) && box.text.contains(reason), qPrintable(box.text));
    const QByteArray written = readFile(log), full = pingLog(second);
    if (fault == u"delete")
        QVERIFY2(!QFileInfo::exists(folder), "a deleted log folder was made again");
    else if (fault == u"ro")
        QCOMPARE(written, pingLog(first));
    else // what reached the disk is the start of the full log, cut where it filled
        QVERIFY2(written.size() > 4096 && written.size() < full.size() && full.startsWith(written),
                 qPrintable(QString::number(written.size())));
    QVERIFY(window.get("startButton")->isEnabled());
}

void TestFaultGui::settingsFileFails_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("fault"); // damaged (nothing), "folder" or "read-only"
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<Qt::CheckState>("enabled");
    QTest::addColumn<Qt::CheckState>("overwrite");
    const QString all0 = u"0.0.0.0"_s, all255 = u"255.255.255.255"_s;

    QTest::newRow("garbage between readable lines")
        << "[Options]\nStart=10.1.1.1\n\xff\xfe\x01 not a setting\nStop=10.1.1.9\n=no key\n"
           "Enabled=0\n[broken\nOverwrite=0\n"_ba
        << QString() << u"10.1.1.1"_s << u"10.1.1.9"_s << Qt::Unchecked << Qt::Checked;
    QTest::newRow("binary zeros only")
        << QByteArray(512, '\0') << QString() << all0 << all255 << Qt::Checked << Qt::Checked;
    QTest::newRow("invalid UTF-8 in a value")
        << "[Options]\nStart=10.0.0.\xc3\x28\nStop=10.0.0.9\n"_ba << QString() << QString()
        << u"10.0.0.9"_s << Qt::Checked << Qt::Checked;
    QTest::newRow("stored numbers with a line break are refused")
        << "[Options]\nEnabled=0\\n\nOverwrite= 0 \\n\n"_ba << QString() << all0 << all255
        << Qt::Checked << Qt::Checked;
    QTest::newRow("a megabyte on one line")
        << "[Options]\nStop=10.0.0.9\nFile="_ba + QByteArray(1 << 20, 'x') + "\nStart=10.0.0.1\n"_ba
        << QString() << u"10.0.0.1"_s << u"10.0.0.9"_s << Qt::Checked << Qt::Checked;
    QTest::newRow("a folder where the file should be")
        << "kept"_ba << u"folder"_s << all0 << all255 << Qt::Checked << Qt::Checked;
    QTest::newRow("read-only file left as it was")
        << "[Options]\nStart=10.3.3.3\nStop=10.3.3.9\nEnabled=0\nOverwrite=2\n"_ba << u"read-only"_s
        << u"10.3.3.3"_s << u"10.3.3.9"_s << Qt::Unchecked << Qt::PartiallyChecked;
}

void TestFaultGui::settingsFileFails()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, fault);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(Qt::CheckState, enabled);
    QFETCH(Qt::CheckState, overwrite);
    const QString file = settingsFile(), kept = file + u"/kept.txt"_s;
    QVERIFY(QDir().mkpath(fault == u"folder" ? file : QFileInfo(file).path()));
    QVERIFY(writeFile(fault == u"folder" ? kept : file, contents));
    if (fault == u"read-only") {
        if (geteuid() != 0)
            QSKIP("needs root for a read-only bind mount");
        QCOMPARE(mountOver(file, true), QString());
        m_mounts.append(file);
    }

    FaultWindow window;
    QVERIFY(window.open());
    QCOMPARE(window.get<IpAddressEdit>("startAddressEdit")->text(), start);
    QCOMPARE(window.get<IpAddressEdit>("stopAddressEdit")->text(), stop);
    QCOMPARE(window.get<QCheckBox>("logEnabledCheck")->checkState(), enabled);
    QCOMPARE(window.get<QCheckBox>("overwriteCheck")->checkState(), overwrite);
    window.get<IpAddressEdit>("startAddressEdit")->setText(u"10.7.7.7"_s);
    window.get<QCheckBox>("logEnabledCheck")->setChecked(true);
    const QString path = window.get<DirList>("folderTree")->path();
    window.close();

    if (!fault.isEmpty()) { // left as it was, and the store says why
        QCOMPARE(readFile(fault == u"folder" ? kept : file), contents);
        QVERIFY(!window.settings->lastError().isEmpty());
        return;
    }
    // The close wrote every key; what could not be read survives in the copy.
    const QVariantMap saved = parseSettingsFile(readFile(file)).values;
    QCOMPARE(saved.value(u"Options/Start"_s).toString(), u"10.7.7.7"_s);
    QCOMPARE(saved.value(u"Options/Stop"_s).toString(), stop);
    QCOMPARE(saved.value(u"Options/Path"_s).toString(), path);
    QCOMPARE(saved.value(u"Options/Enabled"_s).toString(), u"1"_s);
    QCOMPARE(saved.value(u"Options/Overwrite"_s).toString(), u"1"_s);
    if (!parseSettingsFile(contents).damagedLines.isEmpty())
        QCOMPARE(readFile(file + u".bak"_s), contents);
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
    FaultWindow window;
    if (!window.prober->isAvailable())
        QSKIP(qPrintable(u"no echo requests here: "_s + window.prober->unavailableReason()));
    window.settings->writeSetting(u"Corvane"_s, u"Options"_s, u"Parallel"_s,
                                  QString::number(parallel));
    QVERIFY(window.open());
    QTemporaryDir logs;
    QVERIFY(window.setLog(logs.path(), true));
    const QStringList expected = addresses(4 * 256 + 1, 11 * 256 + 250);
    window.setRange(expected.first(), expected.last());
    DialogAnswerer told;
    auto *run = window.form->findChild<ScanRun *>();
    QVERIFY(run);

    QPushButton *stop = window.get("stopButton");
    int stops = 0;
    bool stopPending = false, stopped = false, lateStop = false;
    const auto pressStop = [&] {
        if (stopPending || stops >= 40)
            return;
        stopPending = true;
        QTimer::singleShot(0, window.form.get(), [&] {
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
        if (!lateStop && !stopped && !run->isRunning() && window.form->isRunning() &&
            stop->isEnabled()) {
            lateStop = true;
            QTest::mouseClick(stop, Qt::LeftButton);
        }
    };
    run->installEventFilter(&afterTheWalk);
    // The start field follows the walk: a change means the run has moved on.
    auto scope = std::make_unique<QObject>();
    connect(window.get<IpAddressEdit>("startAddressEdit"), &IpAddressEdit::textChanged, scope.get(),
            [&] {
                if (window.form->isRunning())
                    pressStop();
            });
    bool done = false;
    connect(window.form.get(), &MainWindow::runFinished, scope.get(), [&] {
        done = !std::exchange(stopped, false);
        if (!done) {
            QTimer::singleShot(0, window.form.get(), [&] {
                QTest::mouseClick(window.get("resumeButton"), Qt::LeftButton);
                if (stopAtOnce)
                    pressStop();
            });
        }
    });

    QTest::mouseClick(window.get("startButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
    run->removeEventFilter(&afterTheWalk);
    scope.reset();
    QVERIFY(lateStop);
    // With many in flight progress comes in batches; enough Stops must have landed.
    QVERIFY2(stops >= 10, qPrintable(QString::number(stops)));
    QCOMPARE(window.lines(), pingLines(expected));
    QCOMPARE(window.counter(), pinged(expected.size()));
    QCOMPARE(readFile(logs.path() + u"/ipnums.txt"_s), pingLog(expected));
    QCOMPARE(told.texts(), QStringList());

    QVERIFY(window.run("resumeButton"));
    QCOMPARE(window.lines(), pingLines({expected.last()}));
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultGui>(argc, argv);
}

#include "tst_faultgui.moc"
