#include "scanlog.h"
#include "testfiles.h"
#include "timestamp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

// The read-only and full file systems below are tmpfs mounts in a mount
// namespace of this process alone; they vanish with it. Root ignores file
// permissions, so a mount is the sure way to make a write fail.
QString mountNamespaceProblem;

void enterPrivateMountNamespace()
{
    if (unshare(CLONE_NEWNS) != 0)
        mountNamespaceProblem =
            u"unshare(CLONE_NEWNS): "_s + QString::fromLocal8Bit(strerror(errno));
    else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        mountNamespaceProblem = u"private mounts: "_s + QString::fromLocal8Bit(strerror(errno));
}

bool mountTmpfs(const QString &dir, const char *options)
{
    return mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options) == 0;
}

bool remountReadOnly(const QString &dir)
{
    return mount(nullptr, QFile::encodeName(dir).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                 nullptr) == 0;
}

const QDateTime afternoon(QDate(2026, 12, 5), QTime(15, 26, 8));

} // namespace

class TestScanLog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void timeStamp_data();
    void timeStamp();
    void lineBytes_data();
    void lineBytes();
    void openModes_data();
    void openModes();
    void pathFromFolderAndName_data();
    void pathFromFolderAndName();
    void openFailures_data();
    void openFailures();
    void writeFailures_data();
    void writeFailures();

private:
    void requireMountNamespace();
    std::optional<QTemporaryDir> m_dir;
    QStringList m_mounts;
};

void TestScanLog::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

void TestScanLog::cleanup()
{
    for (const QString &dir : std::as_const(m_mounts))
        umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
    m_mounts.clear();
    m_dir.reset();
}

void TestScanLog::requireMountNamespace()
{
    if (!mountNamespaceProblem.isEmpty())
        QSKIP(qPrintable(u"needs root with a private mount namespace ("_s + mountNamespaceProblem +
                         u')'));
}

void TestScanLog::timeStamp_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("stamp");

    const QLocale c = QLocale::c();
    QTest::newRow("afternoon") << QTime(15, 26, 8) << c << u"12/05/26 03:26:08 pm"_s;
    QTest::newRow("midnight is 12 am") << QTime(0, 0, 0) << c << u"12/05/26 12:00:00 am"_s;
    QTest::newRow("last minute of the 12 am hour")
        << QTime(0, 59, 59) << c << u"12/05/26 12:59:59 am"_s;
    QTest::newRow("just before noon") << QTime(11, 59, 59) << c << u"12/05/26 11:59:59 am"_s;
    QTest::newRow("noon is 12 pm") << QTime(12, 0, 0) << c << u"12/05/26 12:00:00 pm"_s;
    QTest::newRow("1 pm") << QTime(13, 0, 1) << c << u"12/05/26 01:00:01 pm"_s;
    QTest::newRow("German: no am/pm words")
        << QTime(0, 7, 9) << QLocale(QLocale::German) << u"12/05/26 12:07:09 am"_s;
    QTest::newRow("Arabic: other digits")
        << QTime(22, 7, 9) << QLocale(QLocale::Arabic, QLocale::Egypt) << u"12/05/26 10:07:09 pm"_s;
    QTest::newRow("US English: upper case AM/PM")
        << QTime(22, 7, 9) << QLocale(QLocale::English, QLocale::UnitedStates)
        << u"12/05/26 10:07:09 pm"_s;
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

void TestScanLog::lineBytes_data()
{
    QTest::addColumn<bool>("ping");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ping with name")
        << true << u"10.0.0.5"_s << u"host.example"_s
        << QByteArray("10.0.0.5   host.example   12/05/26 03:26:08 pm\r\n");
    QTest::newRow("ping without name: six spaces")
        << true << u"10.0.0.5"_s << QString()
        << QByteArray("10.0.0.5      12/05/26 03:26:08 pm\r\n");
    QTest::newRow("domain") << false << u"10.0.0.5"_s << u"host.example"_s
                            << QByteArray("10.0.0.5   host.example\r\n");
    QTest::newRow("address kept as typed")
        << false << u"010.000.001.005"_s << u"a"_s << QByteArray("010.000.001.005   a\r\n");
    QTest::newRow("non-ASCII name in UTF-8") << false << u"10.0.0.5"_s << u"bücher.example"_s
                                             << QByteArray("10.0.0.5   b\xc3\xbc"
                                                           "cher.example\r\n");
    QTest::newRow("CR LF in a name cannot forge a line")
        << false << u"10.0.0.5"_s << u"evil\r\n10.6.6.6   x"_s
        << QByteArray("10.0.0.5   evil\\x0D\\x0A10.6.6.6   x\r\n");
    QTest::newRow("NUL and other controls shown")
        << true << u"10.0.0.5"_s << u"a\0b\tc\x7f"_s
        << QByteArray("10.0.0.5   a\\x00b\\x09c\\x7F   12/05/26 03:26:08 pm\r\n");
}

void TestScanLog::lineBytes()
{
    QFETCH(bool, ping);
    QFETCH(QString, address);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);

    const QString path = m_dir->filePath(u"ipnums.txt"_s);
    ScanLog log;
    QVERIFY(log.open(path, true));
    for (int i = 0; i < 2; ++i) {
        if (ping)
            log.writePingLine(address, name, afternoon);
        else
            log.writeDomainLine(address, name);
        // Each line is in the file as soon as it is written, not at close.
        QCOMPARE(readFile(path), bytes.repeated(i + 1));
    }
    log.close();
    QCOMPARE(readFile(path), bytes + bytes);
    QCOMPARE(log.failureReason(), QString());
}

void TestScanLog::openModes_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("after");

    const QByteArray old("1.1.1.1   old\r\n");
    const QByteArray line("2.2.2.2   new\r\n");
    QTest::newRow("append creates a missing file") << QByteArray() << false << 1 << line;
    QTest::newRow("overwrite creates a missing file") << QByteArray() << true << 1 << line;
    QTest::newRow("append keeps earlier lines") << old << false << 2 << old + line + line;
    QTest::newRow("overwrite drops earlier lines") << old << true << 1 << line;
    QTest::newRow("overwrite with no results empties the file")
        << old << true << 0 << QByteArray("");
    QTest::newRow("append with no results still creates the file")
        << QByteArray() << false << 0 << QByteArray("");
}

void TestScanLog::openModes()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, overwrite);
    QFETCH(int, lines);
    QFETCH(QByteArray, after);

    const QString path = m_dir->filePath(u"ipnums.txt"_s);
    if (!before.isNull())
        QVERIFY(writeFile(path, before));
    ScanLog log;
    QVERIFY(log.open(path, overwrite));
    QVERIFY(log.isOpen());
    for (int i = 0; i < lines; ++i)
        log.writeDomainLine(u"2.2.2.2"_s, u"new"_s);
    log.close();
    QVERIFY(!log.isOpen());
    QVERIFY(QFile::exists(path));
    QCOMPARE(readFile(path), after);
}

void TestScanLog::pathFromFolderAndName_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");

    QTest::newRow("slash appended, blank name gives the default")
        << u"/var/tmp"_s << u"    "_s << u"/var/tmp/ipnums.txt"_s;
    QTest::newRow("trailing slash kept single, empty name gives the default")
        << u"/var/tmp/"_s << QString() << u"/var/tmp/ipnums.txt"_s;
    QTest::newRow("root stays root") << u"/"_s << u"scan.log"_s << u"/scan.log"_s;
    QTest::newRow("spaces and non-ASCII kept, name as typed")
        << u"/home/a b/Bücher"_s << u" scan.log "_s << u"/home/a b/Bücher/ scan.log "_s;
}

void TestScanLog::pathFromFolderAndName()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, path);

    QCOMPARE(ScanLog::logFolderText(folder) + ScanLog::effectiveFileName(name), path);
}

void TestScanLog::openFailures_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("cause");

    QTest::newRow("missing folder")
        << u"missing/ipnums.txt"_s << false << false << u"No such file or directory"_s;
    QTest::newRow("path is a folder") << u"folder"_s << false << true << u"Is a directory"_s;
    QTest::newRow("folder part is a file")
        << u"file/ipnums.txt"_s << false << false << u"Not a directory"_s;
    QTest::newRow("append to a read-only file")
        << u"file"_s << true << false << u"Read-only file system"_s;
    QTest::newRow("overwrite a read-only file")
        << u"file"_s << true << true << u"Read-only file system"_s;
    QTest::newRow("create in a read-only folder")
        << u"ipnums.txt"_s << true << false << u"Read-only file system"_s;
}

// A log that cannot open stays quiet: every write and close is a no-op, the
// files stay as they were, and a later open of a good path starts afresh.
void TestScanLog::openFailures()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, readOnly);
    QFETCH(bool, overwrite);
    QFETCH(QString, cause);

    QString dir = m_dir->path();
    if (readOnly) {
        requireMountNamespace();
        dir += u"/ro"_s;
        QVERIFY(QDir(m_dir->path()).mkdir(u"ro"_s) && mountTmpfs(dir, "size=64k"));
        m_mounts << dir;
    }
    QVERIFY(QDir(dir).mkdir(u"folder"_s));
    QVERIFY(writeFile(dir + u"/file"_s, "keep\r\n"));
    if (readOnly)
        QVERIFY(remountReadOnly(dir));
    const QString path = dir + u'/' + relativePath;

    ScanLog log;
    QVERIFY(!log.open(path, overwrite));
    QVERIFY(!log.isOpen());
    const QString reason = u"Cannot open "_s + path + u": "_s + cause;
    QCOMPARE(log.failureReason(), reason);
    log.writePingLine(u"10.0.0.1"_s, u"x"_s, afternoon);
    log.writeDomainLine(u"10.0.0.1"_s, u"x"_s);
    log.close();
    log.close();
    QCOMPARE(log.failureReason(), reason);
    QCOMPARE(readFile(dir + u"/file"_s), QByteArray("keep\r\n"));
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"file"_s, u"folder"_s}));

    QVERIFY(log.open(m_dir->filePath(u"good.txt"_s), true));
    QCOMPARE(log.failureReason(), QString());
}

void TestScanLog::writeFailures_data()
{
    QTest::addColumn<QString>("path"); // empty: a full 4 KiB file system
    QTest::addColumn<int>("wholeLines");

    QTest::newRow("disk full at the first line") << u"/dev/full"_s << 0;
    // The line that does not fit is taken back: the file holds whole lines only.
    QTest::newRow("file system filling up in a line") << QString() << 4096 / 55;
}

void TestScanLog::writeFailures()
{
    QFETCH(QString, path);
    QFETCH(int, wholeLines);

    if (path.isEmpty()) {
        requireMountNamespace();
        QVERIFY(mountTmpfs(m_dir->path(), "size=4k"));
        m_mounts << m_dir->path();
        path = m_dir->filePath(u"ipnums.txt"_s);
    }
    const QByteArray line("192.168.100.200   host.example   12/05/26 03:26:08 pm\r\n");
    QCOMPARE(line.size(), 55);
    ScanLog log;
    QVERIFY(log.open(path, !path.startsWith(u"/dev"_s)));
    QCOMPARE(log.failureReason(), QString());
    int written = 0;
    while (log.isOpen() && written < 1000) {
        log.writePingLine(u"192.168.100.200"_s, u"host.example"_s, afternoon);
        ++written;
    }
    // The failure is found at the line that meets it; later lines do nothing.
    QCOMPARE(written, wholeLines + 1);
    const QString reason = u"Cannot write "_s + path + u": No space left on device"_s;
    QCOMPARE(log.failureReason(), reason);
    log.writeDomainLine(u"10.0.0.2"_s, u"x"_s);
    log.close();
    QCOMPARE(log.failureReason(), reason);
    if (wholeLines > 0)
        QCOMPARE(readFile(path), line.repeated(wholeLines));

    ScanLog never; // a log that never opened closes harmlessly
    never.close();
    never.writeDomainLine(u"10.0.0.1"_s, u"x"_s);
    QVERIFY(!never.isOpen());
    QCOMPARE(never.failureReason(), QString());
}

int main(int argc, char **argv)
{
    // Before any thread exists: a process with threads cannot unshare its mounts.
    enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    TestScanLog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scanlog.moc"
