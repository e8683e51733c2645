// The log file failing underneath a scan: its folder deleted or made
// read-only between two runs, and the disk filling up while a run logs.
// Whatever fails, every result reaches the list, the counter agrees with it,
// what the log already held stays as it was, and the user is told once.
//
// Runs as root in a private mount namespace: read-only bind mounts and a
// small tmpfs make the writes fail, since root writes through permissions.

#include "faultmain.h"
#include "faultwindow.h"
#include "mainwindow.h"
#include "messageboxlog.h"
#include "privatemounts.h"
#include "scansession.h"
#include "widgetlookup.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QStringList addresses(int thirdOctet, int first, int last)
{
    QStringList result;
    for (int i = first; i <= last; ++i)
        result.append(u"127.0.%1.%2"_s.arg(thirdOctet).arg(i));
    return result;
}

QStringList pingLines(const QStringList &addresses)
{
    QStringList result;
    for (const QString &address : addresses)
        result.append(FaultWindow::pingLine(address));
    return result;
}

QByteArray logOf(const QStringList &addresses)
{
    QByteArray result;
    for (const QString &address : addresses)
        result += FaultWindow::pingLogLine(address);
    return result;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFaultLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void logFolderFailsBetweenRuns_data();
    void logFolderFailsBetweenRuns();
    void diskFillsWhileLogging();

private:
    QString folder() const { return m_scratch.path() + u"/logs"_s; }
    QString logPath() const { return folder() + u"/ipnums.txt"_s; }
    void checkCounter(FaultWindow &window, qsizetype lines);

    QTemporaryDir m_scratch;
    QStringList m_mounts;
};

void TestFaultLog::initTestCase()
{
    QVERIFY(m_scratch.isValid());
}

void TestFaultLog::cleanup()
{
    while (!m_mounts.isEmpty())
        unmount(m_mounts.takeLast());
    QDir(folder()).removeRecursively();
}

void TestFaultLog::checkCounter(FaultWindow &window, qsizetype lines)
{
    QCOMPARE(window.form()->findChild<ScanSession *>()->resultCount(), lines);
    QCOMPARE(child<QLabel>(window.form(), "statusLabel")->text(),
             QString::number(lines) + u" pinged IP Numbers"_s);
}

void TestFaultLog::logFolderFailsBetweenRuns_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder deleted, appending") << u"delete"_s << false << u"No such file"_s;
    QTest::newRow("folder deleted, overwriting") << u"delete"_s << true << u"No such file"_s;
    QTest::newRow("folder read-only, appending")
        << u"read-only"_s << false << u"Read-only file system"_s;
    QTest::newRow("folder read-only, overwrite keeps the old log")
        << u"read-only"_s << true << u"Read-only file system"_s;
}

void TestFaultLog::logFolderFailsBetweenRuns()
{
    QFETCH(QString, fault);
    QFETCH(bool, overwrite);
    QFETCH(QString, reason);

    QVERIFY(QDir().mkpath(folder()));
    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QVERIFY(window.setLog(folder(), true, overwrite));
    MessageBoxLog told;

    const QStringList first = addresses(2, 1, 4);
    QVERIFY(window.setRange(first.first(), first.last()));
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));
    QCOMPARE(readAll(logPath()), logOf(first));
    QCOMPARE(told.texts(), QStringList());

    if (fault == u"delete") {
        QVERIFY(QDir(folder()).removeRecursively());
    } else {
        const QString problem = bindReadOnly(folder());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_mounts.append(folder());
    }

    const QStringList second = addresses(2, 5, 12);
    QVERIFY(window.setRange(second.first(), second.last()));
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));

    QCOMPARE(window.lines(), pingLines(second));
    checkCounter(window, second.size());
    QCOMPARE(told.entries().size(), 1);
    QCOMPARE(told.entries().first().title, u"Corvane"_s);
    QCOMPARE(told.entries().first().icon, QMessageBox::Warning);
    QVERIFY2(told.entries().first().beeped, "no beep before the message");
    const QString text = told.entries().first().text;
    QVERIFY2(text.contains(logPath()) && text.contains(reason), qPrintable(text));
    if (fault == u"delete")
        QVERIFY2(!QFileInfo::exists(folder()), "a deleted log folder was made again");
    else
        QCOMPARE(readAll(logPath()), logOf(first));
    QVERIFY(child<QPushButton>(window.form(), "startButton")->isEnabled());
}

void TestFaultLog::diskFillsWhileLogging()
{
    QVERIFY(QDir().mkpath(folder()));
    // Two pages: room for some 220 of the 356 lines.
    const QString problem = mountTmpfs(folder(), u"size=8k"_s);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    m_mounts.append(folder());

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QVERIFY(window.setLog(folder(), true, true));
    MessageBoxLog told;

    const QStringList range = addresses(2, 1, 255) + addresses(3, 0, 100);
    QVERIFY(window.setRange(range.first(), range.last()));
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));

    QCOMPARE(window.lines(), pingLines(range));
    checkCounter(window, range.size());
    QCOMPARE(told.entries().size(), 1);
    const QString text = told.entries().first().text;
    QVERIFY2(text.contains(logPath()) && text.contains(u"No space left on device"_s),
             qPrintable(text));

    // What reached the disk is the start of the full log, cut where it filled.
    const QByteArray full = logOf(range);
    const QByteArray written = readAll(logPath());
    QVERIFY2(written.size() > 4096 && written.size() < full.size(),
             qPrintable(QString::number(written.size())));
    QVERIFY(full.startsWith(written));
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultLog>(argc, argv, {"read-only and full file systems", true});
}

#include "tst_faultlog.moc"
