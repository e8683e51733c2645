#include "scanlog.h"
#include "testfiles.h"
#include "timestamp.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

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
    QTest::addColumn<QString>("stamp");

    QTest::newRow("afternoon") << QTime(15, 26, 8) << u"03:26:08 pm"_s;
    QTest::newRow("midnight is 12 am") << QTime(0, 0, 0) << u"12:00:00 am"_s;
    QTest::newRow("just before noon") << QTime(11, 59, 59) << u"11:59:59 am"_s;
    QTest::newRow("noon is 12 pm") << QTime(12, 0, 0) << u"12:00:00 pm"_s;
}

// The stamp of a ping line, and the report date (the same without seconds).
void TestScanLog::timeStamp()
{
    QFETCH(QTime, time);
    QFETCH(QString, stamp);

    const QDateTime when(QDate(2026, 12, 5), time);
    QCOMPARE(formatTimeStamp(when), u"12/05/26 "_s + stamp);
    QCOMPARE(formatReportDate(when), u"12/05/26 "_s + QString(stamp).remove(5, 3));
    QCOMPARE(formatTimeStamp(QDateTime(QDate(2000, 2, 29), time)), u"02/29/00 "_s + stamp);
    QCOMPARE(formatTimeStamp(QDateTime()), QString());
    QCOMPARE(formatReportDate(QDateTime()), QString());
}

// A slash joins folder and name once; a blank name gives the default; a name is kept as typed.
void TestScanLog::path()
{
    QCOMPARE(ScanLog::logFolderText(u"/var/tmp/"_s) + ScanLog::effectiveFileName(u"    "_s),
             u"/var/tmp/ipnums.txt"_s);
    QCOMPARE(ScanLog::logFolderText(u"/a b/Bücher"_s) + ScanLog::effectiveFileName(u" x.log "_s),
             u"/a b/Bücher/ x.log "_s);
}

void TestScanLog::logFile_data()
{
    QTest::addColumn<bool>("limited"); // a 4 KiB limit on the size of files written
    QTest::addColumn<QString>("file"); // in a folder that holds "file"
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("lines");   // lines to write, unless the log ends first
    QTest::addColumn<int>("written"); // lines written when it ended or all were
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("failure"); // %1: the path
    QTest::addColumn<bool>("ping");       // ping lines of 192.168.100.200, else domain lines
    QTest::addColumn<QString>("name");

    const QByteArray old("keep\r\n");
    const auto row = [](const char *name, const QString &file, bool overwrite, int lines,
                        int written, const QByteArray &after, const QString &failure = QString()) {
        QTest::newRow(name) << false << file << overwrite << lines << written << after << failure
                            << true << u"host.example"_s;
    };
    const auto line = [](const char *name, bool ping, const QString &host,
                         const QByteArray &bytes) {
        QTest::newRow(name) << false << u"new"_s << true << 2 << 2 << bytes + bytes << QString()
                            << ping << host;
    };
    line("ping line without name: six spaces", true, QString(),
         "192.168.100.200      12/05/26 03:26:08 pm\r\n");
    line("domain line", false, u"host.example"_s, "192.168.100.200   host.example\r\n");
    line("non-ASCII name in UTF-8", false, u"bücher.example"_s,
         "192.168.100.200   b\xc3\xbc"
         "cher.example\r\n");
    line("controls shown as \\xHH, so a name cannot forge a line", false,
         u"a\0b\tc\x7f\r\n10.6.6.6"_s,
         "192.168.100.200   a\\x00b\\x09c\\x7F\\x0D\\x0A10.6.6.6\r\n");
    row("append keeps earlier lines", u"file"_s, false, 2, 2, old + kLine + kLine);
    row("overwrite drops earlier lines", u"file"_s, true, 1, 1, kLine);
    row("overwrite with no results empties the file", u"file"_s, true, 0, 0, "");
    row("append with no results still creates the file", u"new"_s, false, 0, 0, "");
    row("missing folder", u"missing/ipnums.txt"_s, false, 1, 0, {},
        u"Cannot open %1: No such file or directory"_s);
    // The line that does not fit is taken back: the file holds whole lines only.
    QTest::newRow("file full in a line")
        << true << u"new"_s << true << 1000 << 4096 / 55 + 1 << kLine.repeated(4096 / 55)
        << u"Cannot write %1: File too large"_s << true << u"host.example"_s;
}

// Each line is in the file as soon as it is written. The first failure ends
// the log and is kept; writes after it or after close do nothing, and the next
// open starts afresh.
void TestScanLog::logFile()
{
    QFETCH(bool, limited);
    QFETCH(QString, file);
    QFETCH(bool, overwrite);
    QFETCH(int, lines);
    QFETCH(int, written);
    QFETCH(QByteArray, after);
    QFETCH(QString, failure);
    QFETCH(bool, ping);
    QFETCH(QString, name);

    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(u"file"_s), "keep\r\n"));
    const QString path = dir.filePath(file);
    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit fourKiB{4096, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the limit fails instead
    QVERIFY(!limited || setrlimit(RLIMIT_FSIZE, &fourKiB) == 0);

    ScanLog log;
    const bool opened = log.open(path, overwrite);
    int tried = 0;
    for (; log.isOpen() && tried < lines; ++tried) {
        if (ping)
            log.addPingLine(u"192.168.100.200"_s, name, formatTimeStamp(kAfternoon));
        else
            log.addDomainLine(u"192.168.100.200"_s, name);
        log.flush();
    }
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QCOMPARE(opened, !failure.startsWith(u"Cannot open"_s));
    QCOMPARE(tried, written);
    QCOMPARE(readFile(path), after);
    const QString reason = failure.isEmpty() ? QString() : failure.arg(path);
    QCOMPARE(log.failureReason(), reason);
    log.close();
    log.addDomainLine(u"10.0.0.2"_s, u"x"_s);
    log.close();
    QCOMPARE(log.failureReason(), reason);
    QCOMPARE(readFile(path), after);

    QVERIFY(log.open(dir.filePath(u"good.txt"_s), true));
    QCOMPARE(log.failureReason(), QString());
}

QTEST_GUILESS_MAIN(TestScanLog)
#include "tst_scanlog.moc"
