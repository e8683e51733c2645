#include "scanlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QDateTime afternoon(QDate(2026, 12, 5), QTime(15, 26, 8));

} // namespace

class TestScanLog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void logFolderText_data();
    void logFolderText();
    void effectiveFileName_data();
    void effectiveFileName();
    void lineBytes_data();
    void lineBytes();
    void openModes_data();
    void openModes();
    void blankNameLandsInFolder();
    void openFailures_data();
    void openFailures();
    void readOnlyFileSystem_data();
    void readOnlyFileSystem();
    void diskFullAtFirstLine();
    void fileSystemFillingUpKeepsWholeLines();
    void closeWithoutOpen();

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

void TestScanLog::logFolderText_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("text");

    QTest::newRow("slash appended") << u"/var/tmp"_s << u"/var/tmp/"_s;
    QTest::newRow("trailing slash kept single") << u"/var/tmp/"_s << u"/var/tmp/"_s;
    QTest::newRow("root stays root") << u"/"_s << u"/"_s;
    QTest::newRow("spaces and non-ASCII kept") << u"/home/a b/Bücher"_s << u"/home/a b/Bücher/"_s;
}

void TestScanLog::logFolderText()
{
    QFETCH(QString, folder);
    QFETCH(QString, text);

    QCOMPARE(ScanLog::logFolderText(folder), text);
}

void TestScanLog::effectiveFileName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("name");

    QTest::newRow("empty gives the default") << QString() << u"ipnums.txt"_s;
    QTest::newRow("spaces only give the default") << u"    "_s << u"ipnums.txt"_s;
    QTest::newRow("typed name kept") << u"scan.log"_s << u"scan.log"_s;
    QTest::newRow("surrounding spaces kept as typed") << u" scan.log "_s << u" scan.log "_s;
}

void TestScanLog::effectiveFileName()
{
    QFETCH(QString, typed);
    QFETCH(QString, name);

    QCOMPARE(ScanLog::effectiveFileName(typed), name);
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
        QCOMPARE(readAll(path), bytes.repeated(i + 1));
    }
    log.close();
    QCOMPARE(readAll(path), bytes + bytes);
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
    QCOMPARE(readAll(path), after);
}

// An empty name box and a folder with or without its trailing slash give one
// file, ipnums.txt, right in the folder.
void TestScanLog::blankNameLandsInFolder()
{
    for (const QString &folder : QStringList{m_dir->path(), m_dir->path() + u'/'}) {
        const QString path = ScanLog::logFolderText(folder) + ScanLog::effectiveFileName(u"  "_s);
        QCOMPARE(path, m_dir->path() + u"/ipnums.txt"_s);
        ScanLog log;
        QVERIFY(log.open(path, false));
        log.writeDomainLine(u"10.0.0.5"_s, u"n"_s);
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"ipnums.txt"_s});
    QCOMPARE(readAll(m_dir->filePath(u"ipnums.txt"_s)), QByteArray("10.0.0.5   n\r\n").repeated(2));
}

void TestScanLog::openFailures_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("cause");

    QTest::newRow("missing folder") << u"missing/ipnums.txt"_s << u"No such file or directory"_s;
    QTest::newRow("path is a folder") << u"folder"_s << u"Is a directory"_s;
    QTest::newRow("folder part is a file") << u"file/ipnums.txt"_s << u"Not a directory"_s;
}

// A log that cannot open stays quiet: every write and close is a no-op, and a
// later open of a good path starts afresh.
void TestScanLog::openFailures()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, cause);

    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    QVERIFY(writeFile(m_dir->filePath(u"file"_s), "keep\r\n"));
    const QString path = m_dir->filePath(relativePath);

    for (bool overwrite : {false, true}) {
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

        QVERIFY(log.open(m_dir->filePath(u"good.txt"_s), true));
        QCOMPARE(log.failureReason(), QString());
    }
    QCOMPARE(readAll(m_dir->filePath(u"file"_s)), QByteArray("keep\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"file"_s, u"folder"_s, u"good.txt"_s}));
}

void TestScanLog::readOnlyFileSystem_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("overwrite");

    QTest::newRow("append to a read-only file") << true << false;
    QTest::newRow("overwrite a read-only file") << true << true;
    QTest::newRow("create in a read-only folder") << false << false;
}

void TestScanLog::readOnlyFileSystem()
{
    QFETCH(bool, fileExists);
    QFETCH(bool, overwrite);
    requireMountNamespace();

    const QString dir = m_dir->path();
    QVERIFY(mountTmpfs(dir, "size=64k"));
    m_mounts << dir;
    const QString path = dir + u"/ipnums.txt"_s;
    if (fileExists)
        QVERIFY(writeFile(path, "earlier\r\n"));
    QVERIFY(remountReadOnly(dir));

    ScanLog log;
    QVERIFY(!log.open(path, overwrite));
    QCOMPARE(log.failureReason(), u"Cannot open "_s + path + u": Read-only file system"_s);
    log.writeDomainLine(u"10.0.0.1"_s, u"x"_s);
    QCOMPARE(readAll(path), fileExists ? QByteArray("earlier\r\n") : QByteArray("<missing>"));
}

void TestScanLog::diskFullAtFirstLine()
{
    const QString path = u"/dev/full"_s;
    ScanLog log;
    QVERIFY(log.open(path, false));
    QCOMPARE(log.failureReason(), QString());
    log.writePingLine(u"10.0.0.1"_s, {}, afternoon);
    const QString reason = u"Cannot write /dev/full: No space left on device"_s;
    QCOMPARE(log.failureReason(), reason);
    QVERIFY(!log.isOpen());
    // Only the first failure is kept; later lines do nothing.
    log.writeDomainLine(u"10.0.0.2"_s, u"x"_s);
    QCOMPARE(log.failureReason(), reason);
    log.close();
}

// A file system that fills up in the middle of a line: the line that does not
// fit is taken back, so the file holds whole lines only.
void TestScanLog::fileSystemFillingUpKeepsWholeLines()
{
    requireMountNamespace();

    const QString dir = m_dir->path();
    QVERIFY(mountTmpfs(dir, "size=4k"));
    m_mounts << dir;
    const QString path = dir + u"/ipnums.txt"_s;
    const QByteArray line("192.168.100.200   host.example   12/05/26 03:26:08 pm\r\n");
    QVERIFY(4096 % line.size() != 0);

    ScanLog log;
    QVERIFY(log.open(path, true));
    int written = 0;
    while (log.isOpen() && written < 1000) {
        log.writePingLine(u"192.168.100.200"_s, u"host.example"_s, afternoon);
        ++written;
    }
    QVERIFY(!log.isOpen());
    QCOMPARE(log.failureReason(), u"Cannot write "_s + path + u": No space left on device"_s);
    const QByteArray content = readAll(path);
    QCOMPARE(content, line.repeated(written - 1));
    QCOMPARE(content.size() / line.size(), 4096 / line.size());
}

void TestScanLog::closeWithoutOpen()
{
    ScanLog log;
    log.close();
    QVERIFY(!log.isOpen());
    log.writePingLine(u"10.0.0.1"_s, u"x"_s, afternoon);
    log.writeDomainLine(u"10.0.0.1"_s, u"x"_s);
    log.close();
    QCOMPARE(log.failureReason(), QString());
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
