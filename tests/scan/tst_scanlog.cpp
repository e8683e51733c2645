#include "scanlog.h"
#include "testfiles.h"
#include "timestamp.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

namespace {

// Read-only and full file systems are tmpfs mounts in a mount namespace of
// this process alone; they vanish with it. Root ignores file permissions, so
// a mount is the sure way to make a write fail.
QString mountNamespaceProblem;

const QDateTime kAfternoon(QDate(2026, 12, 5), QTime(15, 26, 8));
const QByteArray kLine("192.168.100.200   host.example   12/05/26 03:26:08 pm\r\n");

} // namespace

class TestScanLog : public QObject
{
    Q_OBJECT
private slots:
    void timeStamp_data();
    void timeStamp();
    void path();
    void logFile_data();
    void logFile();
};

void TestScanLog::timeStamp_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("stamp");

    const auto row = [](const char *name, QTime time, const char *stamp,
                        QLocale locale = QLocale::c()) {
        QTest::newRow(name) << time << locale << u"12/05/26 "_s + QLatin1StringView(stamp);
    };
    row("afternoon", QTime(15, 26, 8), "03:26:08 pm");
    row("midnight is 12 am", QTime(0, 0, 0), "12:00:00 am");
    row("last minute of the 12 am hour", QTime(0, 59, 59), "12:59:59 am");
    row("just before noon", QTime(11, 59, 59), "11:59:59 am");
    row("noon is 12 pm", QTime(12, 0, 0), "12:00:00 pm");
    row("1 pm", QTime(13, 0, 1), "01:00:01 pm");
    row("Arabic: other digits", QTime(22, 7, 9), "10:07:09 pm", QLocale(QLocale::Arabic));
    row("US English: upper case AM/PM", QTime(22, 7, 9), "10:07:09 pm",
        QLocale(QLocale::English, QLocale::UnitedStates));
}

// The stamp of a ping line, and the report date (the same without seconds).
void TestScanLog::timeStamp()
{
    QFETCH(QTime, time);
    QFETCH(QLocale, locale);
    QFETCH(QString, stamp);

    QLocale::setDefault(locale);
    auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    const QDateTime when(QDate(2026, 12, 5), time);
    QCOMPARE(formatTimeStamp(when), stamp);
    QCOMPARE(formatReportDate(when), QString(stamp).remove(14, 3));
    QCOMPARE(formatTimeStamp(QDateTime(QDate(2000, 2, 29), time)),
             QString(stamp).replace(0, 8, u"02/29/00"_s));
    QCOMPARE(formatTimeStamp(QDateTime()), QString());
    QCOMPARE(formatReportDate(QDateTime()), QString());
}

// A slash joins folder and name once; a blank name gives the default; a name is kept as typed.
void TestScanLog::path()
{
    QCOMPARE(ScanLog::logFolderText(u"/var/tmp"_s) + ScanLog::effectiveFileName(u"    "_s),
             u"/var/tmp/ipnums.txt"_s);
    QCOMPARE(ScanLog::logFolderText(u"/var/tmp/"_s) + ScanLog::effectiveFileName(QString()),
             u"/var/tmp/ipnums.txt"_s);
    QCOMPARE(ScanLog::logFolderText(u"/a b/Bücher"_s) + ScanLog::effectiveFileName(u" x.log "_s),
             u"/a b/Bücher/ x.log "_s);
}

void TestScanLog::logFile_data()
{
    QTest::addColumn<QString>("mountOptions"); // a tmpfs over the folder; "ro": read-only
    QTest::addColumn<QString>("file");         // in the folder, which holds "file"
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("lines");   // lines to write, unless the log ends first
    QTest::addColumn<int>("written"); // lines written when it ended or all were
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("failure"); // %1: the path
    QTest::addColumn<bool>("ping");       // ping lines of 192.168.100.200, else domain lines
    QTest::addColumn<QString>("name");

    const QByteArray old("keep\r\n");
    const auto row = [](const char *name, const char *mount, const QString &file, bool overwrite,
                        int lines, int written, const QByteArray &after,
                        const QString &failure = QString()) {
        QTest::newRow(name) << QString::fromLatin1(mount) << file << overwrite << lines << written
                            << after << failure << true << u"host.example"_s;
    };
    const auto line = [](const char *name, bool ping, const QString &host,
                         const QByteArray &bytes) {
        QTest::newRow(name) << QString() << u"new"_s << true << 2 << 2 << bytes + bytes << QString()
                            << ping << host;
    };
    line("ping line, CR LF", true, u"host.example"_s, kLine);
    line("ping line without name: six spaces", true, QString(),
         "192.168.100.200      12/05/26 03:26:08 pm\r\n");
    line("domain line", false, u"host.example"_s, "192.168.100.200   host.example\r\n");
    line("non-ASCII name in UTF-8", false, u"bücher.example"_s,
         "192.168.100.200   b\xc3\xbc"
         "cher.example\r\n");
    line("controls shown as \\xHH, so a name cannot forge a line", false,
         u"a\0b\tc\x7f\r\n10.6.6.6"_s,
         "192.168.100.200   a\\x00b\\x09c\\x7F\\x0D\\x0A10.6.6.6\r\n");
    row("append keeps earlier lines", "", u"file"_s, false, 2, 2, old + kLine + kLine);
    row("overwrite drops earlier lines", "", u"file"_s, true, 1, 1, kLine);
    row("overwrite with no results empties the file", "", u"file"_s, true, 0, 0, "");
    row("append with no results still creates the file", "", u"new"_s, false, 0, 0, "");
    const QString cannotOpen = u"Cannot open %1: "_s;
    row("missing folder", "", u"missing/ipnums.txt"_s, false, 1, 0, {},
        cannotOpen + u"No such file or directory"_s);
    const QString readOnly = cannotOpen + u"Read-only file system"_s;
    row("append to a read-only file", "ro", u"file"_s, false, 1, 0, old, readOnly);
    row("create in a read-only folder", "ro", u"new"_s, false, 1, 0, {}, readOnly);
    const QString full = u"Cannot write %1: No space left on device"_s;
    row("disk full at the first line", "", u"/dev/full"_s, false, 5, 1, {}, full);
    // The line that does not fit is taken back: the file holds whole lines only.
    // ("file" takes one of the two pages.)
    row("file system filling up in a line", "size=8k", u"new"_s, true, 1000, 4096 / 55 + 1,
        kLine.repeated(4096 / 55), full);
}

// Each line is in the file as soon as it is written. The first failure ends
// the log and is kept; writes after it or after close do nothing, and the next
// open starts afresh.
void TestScanLog::logFile()
{
    QFETCH(QString, mountOptions);
    QFETCH(QString, file);
    QFETCH(bool, overwrite);
    QFETCH(int, lines);
    QFETCH(int, written);
    QFETCH(QByteArray, after);
    QFETCH(QString, failure);
    QFETCH(bool, ping);
    QFETCH(QString, name);

    QTemporaryDir tmp;
    const QString dir = tmp.path() + u"/logs"_s;
    QVERIFY(QDir(tmp.path()).mkdir(u"logs"_s));
    auto unmount = qScopeGuard([&] { umount2(QFile::encodeName(dir).constData(), MNT_DETACH); });
    if (!mountOptions.isEmpty()) {
        if (!mountNamespaceProblem.isEmpty())
            QSKIP(qPrintable(u"needs root with a private mount namespace: "_s +
                             mountNamespaceProblem));
        QVERIFY(mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0,
                      mountOptions == u"ro"_s ? "size=64k" : qPrintable(mountOptions)) == 0);
    }
    QVERIFY(writeFile(dir + u"/file"_s, "keep\r\n"));
    if (mountOptions == u"ro"_s)
        QVERIFY(mount(nullptr, QFile::encodeName(dir).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                      nullptr) == 0);
    const QString path = file.startsWith(u'/') ? file : dir + u'/' + file;

    ScanLog log;
    QCOMPARE(log.open(path, overwrite), !failure.startsWith(u"Cannot open"_s));
    int tried = 0;
    for (; log.isOpen() && tried < lines; ++tried) {
        if (ping)
            log.writePingLine(u"192.168.100.200"_s, name, kAfternoon);
        else
            log.writeDomainLine(u"192.168.100.200"_s, name);
    }
    QCOMPARE(tried, written);
    const bool readable = !path.startsWith(u"/dev"_s); // /dev/full reads without end
    if (readable)
        QCOMPARE(readFile(path), after);
    const QString reason = failure.isEmpty() ? QString() : failure.arg(path);
    QCOMPARE(log.failureReason(), reason);
    log.close();
    log.writeDomainLine(u"10.0.0.2"_s, u"x"_s);
    log.close();
    QCOMPARE(log.failureReason(), reason);
    if (readable)
        QCOMPARE(readFile(path), after);

    QVERIFY(log.open(tmp.filePath(u"good.txt"_s), true));
    QCOMPARE(log.failureReason(), QString());
}

int main(int argc, char **argv)
{
    // Before any thread exists: a process with threads cannot unshare its mounts.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        mountNamespaceProblem = QString::fromLocal8Bit(strerror(errno));
    QCoreApplication app(argc, argv);
    TestScanLog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scanlog.moc"
