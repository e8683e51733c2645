#include "scanlog.h"
#include "testfiles.h"
#include "timestamp.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

class TestScanLog : public QObject
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void logFile_data();
    void logFile();
};

// The stamp of a ping line (the report's date is the same without seconds), the log path.
void TestScanLog::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto at = [](int h, int m, int s) { return QDateTime({2000, 2, 29}, {h, m, s}); };
    QTest::newRow("midnight is 12 am") << formatTimeStamp(at(0, 0, 0)) << u"02/29/00 12:00:00 am"_s;
    QTest::newRow("just before noon")
        << formatTimeStamp(at(11, 59, 59)) << u"02/29/00 11:59:59 am"_s;
    QTest::newRow("noon is 12 pm") << formatTimeStamp(at(12, 0, 0)) << u"02/29/00 12:00:00 pm"_s;
    QTest::newRow("no time, no text") << formatTimeStamp({}) + formatReportDate({}) << QString();
    QTest::newRow("a slash joins folder and name once; a blank name gives the default")
        << ScanLog::logFolderText(u"/var/tmp/"_s) + ScanLog::effectiveFileName(u"    "_s)
        << u"/var/tmp/ipnums.txt"_s;
    QTest::newRow("a name is kept as typed")
        << ScanLog::logFolderText(u"/a b/Bücher"_s) + ScanLog::effectiveFileName(u" x.log "_s)
        << u"/a b/Bücher/ x.log "_s;
}

void TestScanLog::texts()
{
    QFETCH(QString, text);
    QTEST(text, "expected");
}

void TestScanLog::logFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("lines"); // unless the log ends first; over 1: files limited to 4 KiB
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("failure"); // %1: the path

    const auto pingLine = [](const QByteArray &name) -> QByteArray {
        return "192.168.100.200   " + name + "   12/05/26 03:26:08 pm\r\n";
    };
    const auto row = [](const char *title, const QString &file, bool overwrite, int lines,
                        const QString &name, const QByteArray &after, const QString &failure = {}) {
        QTest::newRow(title) << file << overwrite << lines << name << after << failure;
    };
    row("non-ASCII name in UTF-8", u"new"_s, true, 1, u"bücher.example"_s,
        pingLine("b\xc3\xbc"
                 "cher.example"));
    row("controls shown as \\xHH, so a name cannot forge a line", u"new"_s, true, 1,
        u"a\0b\tc\x7f\r\n10.6.6.6"_s, pingLine("a\\x00b\\x09c\\x7F\\x0D\\x0A10.6.6.6"));
    row("append with no results still creates the file", u"new"_s, false, 0, {}, "");
    row("missing folder", u"missing/ipnums.txt"_s, false, 1, {}, {},
        u"Cannot open %1: No such file or directory"_s);
    row("file full in a line: the part that got through is taken back", u"new"_s, true, 1000,
        u"host.example"_s, pingLine("host.example").repeated(4096 / 55),
        u"Cannot write %1: File too large"_s);
}

// Each line is in the file as soon as it is written. The first failure ends
// the log and is kept; writes after it or after close do nothing, and the next
// open starts afresh.
void TestScanLog::logFile()
{
    QFETCH(QString, file);
    QFETCH(bool, overwrite);
    QFETCH(int, lines);
    QFETCH(QString, name);
    QFETCH(QByteArray, after);
    QFETCH(QString, failure);

    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit fourKiB{4096, unlimited.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the limit fails instead
    QVERIFY(lines <= 1 || setrlimit(RLIMIT_FSIZE, &fourKiB) == 0);

    ScanLog log;
    QCOMPARE(log.open(path, overwrite), !failure.startsWith(u"Cannot open"_s));
    for (int i = 0; log.isOpen() && i < lines; ++i) {
        log.addPingLine(u"192.168.100.200"_s, name, u"12/05/26 03:26:08 pm"_s);
        log.flush();
    }
    setrlimit(RLIMIT_FSIZE, &unlimited);
    QCOMPARE(log.isOpen(), failure.isEmpty());
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
