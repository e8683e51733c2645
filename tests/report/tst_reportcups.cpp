// Prints through a real CUPS queue: the test runs its own cupsd on a private
// socket with a private configuration, with one queue, the default, whose
// device is a file. Needs root (cupsd) and reports SKIPPED (77) otherwise.
#include "pdfreadback.h"
#include "printreport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList SystemBin{u"/usr/sbin"_s, u"/sbin"_s, u"/usr/bin"_s, u"/bin"_s};
const QString QueueName = u"corvane-report"_s;

QString tool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    return path.isEmpty() ? QStandardPaths::findExecutable(name, SystemBin) : path;
}

} // namespace

class TestReportCups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void printsOnDefaultQueue();
    void printsNothingWithoutQueue();
    void printsNothingWithoutServer();

private:
    bool writeFile(const QString &name, const QString &contents);
    bool runAdmin(const QStringList &arguments, QString *output = nullptr);
    bool hasPendingJobs();
    QString socketPath() const { return m_dir.filePath(u"cups.sock"_s); }
    QString jobFile() const { return m_dir.filePath(u"out/job.pdf"_s); }

    QTemporaryDir m_dir;
    QProcess m_cupsd;
};

bool TestReportCups::writeFile(const QString &name, const QString &contents)
{
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::WriteOnly) &&
           file.write(contents.toUtf8()) == contents.toUtf8().size();
}

bool TestReportCups::runAdmin(const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(arguments.first(), arguments.mid(1));
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (output != nullptr)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << arguments.join(u' ') << "failed:" << text;
        return false;
    }
    return true;
}

bool TestReportCups::hasPendingJobs()
{
    QString jobs;
    return !runAdmin(
               {tool(u"lpstat"_s), u"-h"_s, socketPath(), u"-W"_s, u"not-completed"_s, u"-o"_s},
               &jobs) ||
           !jobs.trimmed().isEmpty();
}

void TestReportCups::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // cupsd hands jobs to filters running as user lp: they must reach in here.
    QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                    QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                    QFileDevice::ExeOther));
    const QDir root(m_dir.path());
    for (const QString &sub : {u"spool"_s, u"cache"_s, u"state"_s, u"log"_s, u"out"_s, u"tmp"_s})
        QVERIFY(root.mkpath(sub));
    for (const QString &shared : {u"out"_s, u"tmp"_s})
        QVERIFY(QFile::setPermissions(m_dir.filePath(shared), QFileDevice::Permissions(0x7777)));

    QVERIFY(
        writeFile(u"cupsd.conf"_s, u"Listen %1\n"
                                   "Browsing No\n"
                                   "BrowseLocalProtocols none\n"
                                   "WebInterface No\n"
                                   "LogLevel warn\n"
                                   "DefaultAuthType None\n"
                                   "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                   "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                   "  </Limit>\n</Policy>\n"_s.arg(socketPath())));
    const QString d = m_dir.path();
    QVERIFY(writeFile(u"cups-files.conf"_s,
                      u"FileDevice Yes\nServerRoot %1\nRequestRoot %1/spool\nStateDir %1/state\n"
                      "CacheDir %1/cache\nTempDir %1/tmp\nErrorLog %1/log/error_log\n"
                      "AccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                      "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"_s.arg(d)));

    m_cupsd.setProcessChannelMode(QProcess::ForwardedChannels);
    m_cupsd.start(tool(u"cupsd"_s), {u"-f"_s, u"-c"_s, m_dir.filePath(u"cupsd.conf"_s), u"-s"_s,
                                     m_dir.filePath(u"cups-files.conf"_s)});
    QVERIFY(m_cupsd.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(socketPath()) || m_cupsd.state() == QProcess::NotRunning, 15000);
    QCOMPARE(m_cupsd.state(), QProcess::Running);

    // Generic PDF (cups-filters) where it exists, else a queue without driver.
    const QString device = u"file://"_s + jobFile();
    const QString lpadmin = tool(u"lpadmin"_s);
    bool created = false;
    for (const QString &model : {u"lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"raw"_s}) {
        created = runAdmin({lpadmin, u"-h"_s, socketPath(), u"-p"_s, QueueName, u"-E"_s, u"-v"_s,
                            device, u"-m"_s, model});
        if (created)
            break;
    }
    QVERIFY(created);
    QVERIFY(runAdmin({lpadmin, u"-h"_s, socketPath(), u"-d"_s, QueueName}));

    // Set before anything asks CUPS for printers: the client library reads it once.
    qputenv("CUPS_SERVER", socketPath().toLocal8Bit());
}

void TestReportCups::cleanupTestCase()
{
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished(5000);
        }
    }
}

void TestReportCups::printsOnDefaultQueue()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    QVERIFY(!printer.isNull());
    QCOMPARE(printer.printerName(), QueueName);

    const QDateTime when(QDate(2026, 12, 5), QTime(15, 26, 0));
    const QStringList entries{u"10.0.0.1\thost.example\t12/05/26 03:25:01 pm"_s,
                              u"10.0.0.7\t\t12/05/26 03:25:09 pm"_s};
    QCOMPARE(printReport(entries, when), u"Report printed."_s);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The job went to the server inside printReport(); the driver's filters
    // then write the device file.
    QTRY_VERIFY_WITH_TIMEOUT(!hasPendingJobs(), 60000);
    QVERIFY(QFileInfo(jobFile()).size() > 0);

    QPdfWriter pointGrid(QString{});
    pointGrid.setResolution(72);
    const double charWidth = QFontMetricsF(reportFont(), &pointGrid).horizontalAdvance(u'W');
    QCOMPARE(PdfReadback::textLines(jobFile(), charWidth),
             QStringList({u"12/05/26 03:26 pm"_s, QString(),
                          u"10.0.0.1        host.example    12/05/26 03:25:01 pm"_s,
                          u"10.0.0.7                12/05/26 03:25:09 pm"_s, QString(),
                          u"2 IP Numbers"_s}));

    const QList<PdfTextRun> runs = PdfReadback::textRuns(jobFile());
    QVERIFY(!runs.isEmpty());
    QCOMPARE(runs.first().text, u"12/05/26 03:26 pm"_s);
    QVERIFY(runs.first().bold);
    for (qsizetype i = 1; i < runs.size(); ++i)
        QVERIFY2(!runs.at(i).bold, qPrintable(runs.at(i).text));
}

void TestReportCups::printsNothingWithoutQueue()
{
    QVERIFY(QFile::remove(jobFile()) || !QFileInfo::exists(jobFile()));
    QVERIFY(runAdmin({tool(u"lpadmin"_s), u"-h"_s, socketPath(), u"-x"_s, QueueName}));
    QVERIFY(QPrinterInfo::defaultPrinter().isNull());

    QCOMPARE(printReport({u"10.0.0.1"_s}), u"Report printed."_s);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    QVERIFY(!hasPendingJobs());
    QVERIFY(!QFileInfo::exists(jobFile()));
}

void TestReportCups::printsNothingWithoutServer()
{
    m_cupsd.terminate();
    QVERIFY(m_cupsd.waitForFinished(10000));
    QVERIFY(QPrinterInfo::defaultPrinter().isNull());
    QCOMPARE(printReport({u"10.0.0.1"_s}), u"Report printed."_s);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY(!QFileInfo::exists(jobFile()));
}

int main(int argc, char **argv)
{
    if (geteuid() != 0) {
        std::puts("SKIP: starting a private cupsd needs root");
        return 77;
    }
    for (const QString &name : {u"cupsd"_s, u"lpadmin"_s, u"lpstat"_s}) {
        if (tool(name).isEmpty()) {
            std::printf("SKIP: %s is not installed (Debian packages cups, cups-client)\n",
                        qPrintable(name));
            return 77;
        }
    }
    if (const QString missing = PdfReadback::missingTools(); !missing.isEmpty()) {
        std::printf("SKIP: %s not installed (Debian package poppler-utils)\n", qPrintable(missing));
        return 77;
    }
    QApplication app(argc, argv);
    TestReportCups test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reportcups.moc"
