// The report on the real clipboard (read back by xclip under Xvfb), drawn
// into PDF files, and printed through a private cupsd when run as root.
#include "clipboardreport.h"
#include "printreport.h"
#include "testfiles.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QMimeData>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kWhen(QDate(2026, 12, 5), QTime(15, 26, 8));
const QString kPageBreak = u"<page break>"_s;

QString run(const QStringList &command, int *exitCode = nullptr)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(30000))
        process.kill();
    process.waitForFinished(1000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The PDF's lines on a grid of the report font's width, the left margin and
// trailing blanks removed, pages separated by kPageBreak.
QStringList pdfLines(const QString &pdf)
{
    QPdfWriter points(QString{});
    points.setResolution(72);
    const double width = QFontMetricsF(reportFont(), &points).horizontalAdvance(u'W');
    QString text = run({u"pdftotext"_s, u"-fixed"_s, QString::number(width), pdf, u"-"_s});
    text.replace(QRegularExpression(u"\\s*\f$"_s), QString());
    text.replace(QRegularExpression(u"\\s*\f"_s), u'\n' + kPageBreak + u'\n');
    QStringList lines = text.split(u'\n');
    qsizetype margin = 1000;
    for (QString &line : lines) {
        while (line.endsWith(u' '))
            line.chop(1);
        if (!line.isEmpty() && line != kPageBreak)
            margin = std::min(margin, line.size() - line.trimmed().size());
    }
    for (QString &line : lines)
        line = line == kPageBreak ? line : line.mid(margin);
    return lines;
}

// The text of each line of the first page that pdftohtml finds in a bold face.
QStringList boldLines(const QString &pdf)
{
    const QString xml = run({u"pdftohtml"_s, u"-xml"_s, u"-i"_s, u"-q"_s, u"-stdout"_s, pdf});
    QStringList bold;
    static const QRegularExpression text(u"<text [^>]*>(<b>)?([^<]*)"_s);
    for (const auto &match : text.globalMatch(xml))
        if (match.hasCaptured(1))
            bold.append(match.captured(2));
    return bold;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void copiedReport_data();
    void copiedReport();
    void printedReport_data();
    void printedReport();
    void printOnDefaultPrinter();

private:
    QString cups(const QString &tool) const;

    QTemporaryDir m_dir;
    QProcess m_cupsd;
};

QString TestReport::cups(const QString &tool) const
{
    return QStandardPaths::findExecutable(tool, {u"/usr/sbin"_s, u"/usr/bin"_s});
}

void TestReport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString socket = m_dir.filePath(u"cups.sock"_s);
    // Set before anything asks for printers: nothing here reaches a real one.
    qputenv("CUPS_SERVER", socket.toLocal8Bit());
    if (geteuid() != 0 || cups(u"cupsd"_s).isEmpty() || cups(u"lpadmin"_s).isEmpty() ||
        QApplication::platformName() == u"xcb")
        return;
    // cupsd's filters run as user lp and must reach the queue's output file.
    QVERIFY(QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7755)));
    for (const QString &sub : {u"spool"_s, u"cache"_s, u"state"_s, u"log"_s, u"out"_s, u"tmp"_s})
        QVERIFY(QDir(m_dir.path()).mkpath(sub));
    for (const QString &shared : {u"out"_s, u"tmp"_s})
        QVERIFY(QFile::setPermissions(m_dir.filePath(shared), QFileDevice::Permissions(0x7777)));
    QVERIFY(writeFile(m_dir.filePath(u"cupsd.conf"_s),
                      "Listen " + socket.toLocal8Bit() +
                          "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                          "<Location />\n Order allow,deny\n Allow all\n</Location>\n"));
    QVERIFY(writeFile(m_dir.filePath(u"cups-files.conf"_s),
                      u"FileDevice Yes\nServerRoot %1\nRequestRoot %1/spool\nStateDir %1/state\n"
                      "CacheDir %1/cache\nTempDir %1/tmp\nErrorLog %1/log/error_log\n"
                      "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"_s.arg(m_dir.path())
                          .toLocal8Bit()));
    m_cupsd.start(cups(u"cupsd"_s), {u"-f"_s, u"-c"_s, m_dir.filePath(u"cupsd.conf"_s), u"-s"_s,
                                     m_dir.filePath(u"cups-files.conf"_s)});
    QVERIFY(m_cupsd.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_cupsd.state() != QProcess::Running, 15000);
    int status = -1;
    for (const QString &model : {u"lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"raw"_s}) {
        run({cups(u"lpadmin"_s), u"-h"_s, socket, u"-p"_s, u"report"_s, u"-E"_s, u"-v"_s,
             u"file://"_s + m_dir.filePath(u"out/job.pdf"_s), u"-m"_s, model},
            &status);
        if (status == 0)
            break;
    }
    QCOMPARE(status, 0);
    run({cups(u"lpadmin"_s), u"-h"_s, socket, u"-d"_s, u"report"_s}, &status);
    QCOMPARE(status, 0);
}

void TestReport::cleanupTestCase()
{
    m_cupsd.terminate();
    m_cupsd.waitForFinished(10000);
}

void TestReport::copiedReport_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("status");
    QTest::newRow("empty list: date, two empty lines, zero count")
        << QStringList() << u"12/05/26 03:26 pm\r\n\r\n\r\n0 IP Numbers"_s
        << u"35 bytes copied to the clipboard."_s;
    QTest::newRow("entries unchanged with tabs, an empty one kept, plural for one")
        << QStringList{u"10.0.0.1\t\t12/05/26 03:26:01 pm"_s, QString(), u"m\u00fcnchen"_s}
        << u"12/05/26 03:26 pm\r\n\r\n10.0.0.1\t\t12/05/26 03:26:01 pm\r\n\r\nm\u00fcnchen"
           u"\r\n\r\n3 IP Numbers"_s
        << u"78 bytes copied to the clipboard."_s;
    QTest::newRow("one entry: the count keeps the plural")
        << QStringList{u"10.0.0.9"_s} << u"12/05/26 03:26 pm\r\n\r\n10.0.0.9\r\n\r\n1 IP Numbers"_s
        << u"45 bytes copied to the clipboard."_s;
    const QStringList many(65536, u"10.0.0.1"_s);
    QTest::newRow("count beyond 16 bits, status without grouping")
        << many
        << u"12/05/26 03:26 pm\r\n\r\n"_s + many.join(u"\r\n"_s) + u"\r\n\r\n65536 IP Numbers"_s
        << u"655399 bytes copied to the clipboard."_s;
}

void TestReport::copiedReport()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QFETCH(QString, status);
    QCOMPARE(copyReportToClipboard(entries, kWhen), status);
    QCOMPARE(QApplication::clipboard()->text(), text);
    QVERIFY(!QApplication::clipboard()->mimeData()->hasHtml());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    if (QApplication::platformName() != u"xcb" || entries.size() > 100)
        return;
    // Another X client asks this process for the text: the event loop must run meanwhile.
    for (const QString &target : {u"UTF8_STRING"_s, u"text/plain"_s}) {
        QProcess xclip;
        xclip.start(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-o"_s, u"-target"_s, target});
        QTRY_COMPARE_WITH_TIMEOUT(xclip.state(), QProcess::NotRunning, 15000);
        QCOMPARE(xclip.readAllStandardOutput(), text.toUtf8());
    }
}

void TestReport::printedReport_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<qreal>("rightMarginMm");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("pages");
    const QString date = u"12/05/26 03:26 pm"_s;
    QTest::newRow("empty list") << QStringList() << 15.0
                                << QStringList{date, {}, {}, u"0 IP Numbers"_s} << 1;
    QTest::newRow("tabs expanded to stops of eight")
        << QStringList{u"10.0.0.1\thost.example\tx"_s, u"1234567\t\tx"_s, u"\ta\t"_s} << 15.0
        << QStringList{date,
                       {},
                       u"10.0.0.1        host.example    x"_s,
                       u"1234567         x"_s,
                       u"        a"_s,
                       {},
                       u"3 IP Numbers"_s}
        << 1;
    // A printable area about 40 characters wide: a cut or wrapped line would show.
    const QString wide = u"10.0.0.1        "_s + u"very-"_s.repeated(12) + u"long.example"_s;
    QTest::newRow("long line neither wrapped nor cut")
        << QStringList{wide} << 110.0 << QStringList{date, {}, wide, {}, u"1 IP Numbers"_s} << 1;
    QStringList entries{date, {}};
    for (int i = 0; i < 250; ++i)
        entries.append(u"10.0.0.%1"_s.arg(i));
    QTest::newRow("a full page continues on the next")
        << entries.mid(2) << 15.0 << (entries << QString() << u"250 IP Numbers"_s) << 4;
}

void TestReport::printedReport()
{
    QFETCH(QStringList, entries);
    QFETCH(qreal, rightMarginMm);
    QFETCH(QStringList, lines);
    QFETCH(int, pages);
    const QString pdf = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".pdf"_s);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(pdf);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 15, rightMarginMm, 15),
                                      QPageLayout::Millimeter));
    QVERIFY(printReportOn(printer, entries, kWhen));
    QStringList printed = pdfLines(pdf);
    QCOMPARE(printed.removeAll(kPageBreak) + 1, pages);
    QCOMPARE(printed, lines);
    QCOMPARE(boldLines(pdf), QStringList{lines.first()});
}

void TestReport::printOnDefaultPrinter()
{
    const QStringList entries{u"10.0.0.1\thost.example"_s, u"10.0.0.7"_s};
    const QString job = m_dir.filePath(u"out/job.pdf"_s);
    if (m_cupsd.state() == QProcess::Running) {
        QCOMPARE(printReport(entries, kWhen), u"Report printed."_s);
        const QStringList pending{
            cups(u"lpstat"_s),  u"-h"_s, qEnvironmentVariable("CUPS_SERVER"), u"-W"_s,
            u"not-completed"_s, u"-o"_s};
        QTRY_COMPARE_WITH_TIMEOUT(run(pending), QString(), 60000);
        QCOMPARE(pdfLines(job), (QStringList{u"12/05/26 03:26 pm"_s,
                                             {},
                                             u"10.0.0.1        host.example"_s,
                                             u"10.0.0.7"_s,
                                             {},
                                             u"2 IP Numbers"_s}));
        QCOMPARE(boldLines(job), QStringList{u"12/05/26 03:26 pm"_s});
        QVERIFY(QFile::remove(job));
        run({cups(u"lpadmin"_s), u"-h"_s, qEnvironmentVariable("CUPS_SERVER"), u"-x"_s,
             u"report"_s});
    }
    // No queue, or no print server at all: nothing printed, the same status.
    QCOMPARE(printReport(entries, kWhen), u"Report printed."_s);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!QFile::exists(job));
    if (m_cupsd.state() != QProcess::Running)
        QSKIP("printed without printer only: a private cupsd needs root and the cups package");
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
