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
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kWhen(QDate(2026, 12, 5), QTime(15, 26, 8));
const QString kDate = u"12/05/26 03:26 pm"_s;

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The PDF's lines on a grid of the report font's width, without the left margin and
// trailing blanks, "<page>" between pages; then "<bold>" and the bold lines.
QStringList pdfLines(const QString &pdf)
{
    QPdfWriter points(QString{});
    points.setResolution(72);
    const double width = QFontMetricsF(reportFont(), &points).horizontalAdvance(u'W');
    QStringList lines = run(u"pdftotext"_s, {u"-fixed"_s, QString::number(width), pdf, u"-"_s})
                            .remove(QRegularExpression(u"\\s*\f$| +(?=\n)"_s))
                            .replace(QRegularExpression(u"\\s*\f"_s), u"\n<page>\n"_s)
                            .split(u'\n');
    const qsizetype margin = lines.first().size() - lines.first().trimmed().size();
    for (QString &line : lines)
        line = line == u"<page>" ? line : line.mid(margin);
    lines << u"<bold>"_s;
    static const QRegularExpression bold(u"<text [^>]*><b>([^<]*)"_s);
    for (const auto &match :
         bold.globalMatch(run(u"pdftohtml"_s, {u"-xml"_s, u"-i"_s, u"-q"_s, u"-stdout"_s, pdf})))
        lines << match.captured(1);
    return lines;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_cupsd; // ended with the test

private slots:
    // A private cupsd whose one queue prints into out/job.pdf; only as root.
    void initTestCase()
    {
        const QString socket = m_dir.filePath(u"cups.sock"_s);
        qputenv("CUPS_SERVER", socket.toLocal8Bit()); // before anything asks for printers
        if (geteuid() != 0 || !QFile::exists(u"/usr/sbin/cupsd"_s))
            return;
        const QString dir = m_dir.path();
        QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x7755)));
        for (const QString &sub :
             {u"spool"_s, u"cache"_s, u"state"_s, u"log"_s, u"out"_s, u"tmp"_s})
            QVERIFY(QDir(dir).mkpath(sub));
        for (const QString &sub : {u"/out"_s, u"/tmp"_s}) // cupsd's filters run as user lp
            QVERIFY(QFile::setPermissions(dir + sub, QFileDevice::Permissions(0x7777)));
        QVERIFY(writeFile(dir + u"/cupsd.conf"_s,
                          "Listen " + socket.toLocal8Bit() +
                              "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                              "<Location />\n Order allow,deny\n Allow all\n</Location>\n"));
        QVERIFY(
            writeFile(dir + u"/cups-files.conf"_s,
                      u"FileDevice Yes\nServerRoot %1\nRequestRoot %1/spool\nStateDir %1/state\n"
                      "CacheDir %1/cache\nTempDir %1/tmp\nErrorLog %1/log/error_log\n"
                      "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"_s.arg(dir)
                          .toLocal8Bit()));
        m_cupsd.start(u"/usr/sbin/cupsd"_s, {u"-f"_s, u"-c"_s, dir + u"/cupsd.conf"_s, u"-s"_s,
                                             dir + u"/cups-files.conf"_s});
        QVERIFY(m_cupsd.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_cupsd.state() != QProcess::Running,
                                 15000);
        for (const QStringList &how :
             {QStringList{u"-p"_s, u"report"_s, u"-E"_s, u"-v"_s,
                          u"file://"_s + dir + u"/out/job.pdf"_s, u"-m"_s,
                          u"lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s},
              QStringList{u"-d"_s, u"report"_s}})
            QCOMPARE(QProcess::execute(u"/usr/sbin/lpadmin"_s, QStringList{u"-h"_s, socket} + how),
                     0);
    }

    // The date, two empty lines, the entries unchanged (an empty one kept), an empty line,
    // the count; the status counts characters.
    void copiedReport()
    {
        const QList<std::pair<QStringList, QString>> cases{
            {{}, kDate + u"\r\n\r\n\r\n0 IP Numbers"_s},
            {{u"10.0.0.1\t\t12/05/26 03:26:01 pm"_s, QString(), u"m\u00fcnchen"_s},
             kDate +
                 u"\r\n\r\n10.0.0.1\t\t12/05/26 03:26:01 pm\r\n\r\nm\u00fcnchen\r\n\r\n3 IP Numbers"_s}};
        for (const auto &[entries, text] : cases) {
            QCOMPARE(copyReportToClipboard(entries, kWhen),
                     u"%1 bytes copied to the clipboard."_s.arg(text.size()));
            QCOMPARE(QApplication::clipboard()->text(), text);
            QVERIFY(!QApplication::clipboard()->mimeData()->hasHtml());
            QCOMPARE(QApplication::overrideCursor(), nullptr);
        }
    }

    // On the private cupsd's queue: the date bold, tabs to stops of eight, a full page continued
    // on the next. Without a default printer nothing is printed, and the user is told the same.
    void printedReport()
    {
        QStringList entries{u"10.0.0.1\thost.example\tx"_s, u"1234567\t\tx"_s};
        QStringList lines{
            kDate, {}, u"10.0.0.1        host.example    x"_s, u"1234567         x"_s};
        for (int i = 2; i < 250; ++i)
            lines.append(entries.emplace_back(u"10.0.0.%1"_s.arg(i)));
        lines << QString() << u"250 IP Numbers"_s << u"<bold>"_s << kDate;
        const QString pdf = m_dir.filePath(u"out/job.pdf"_s),
                      server = qEnvironmentVariable("CUPS_SERVER");
        if (m_cupsd.state() == QProcess::Running) {
            QCOMPARE(printReport(entries, kWhen), u"Report printed."_s);
            QTRY_VERIFY_WITH_TIMEOUT(
                run(u"/usr/bin/lpstat"_s, {u"-h"_s, server, u"-W"_s, u"not-completed"_s, u"-o"_s})
                    .isEmpty(),
                60000);
            QStringList printed = pdfLines(pdf);
            QCOMPARE(printed.removeAll(u"<page>"_s), 3); // four pages
            QCOMPARE(printed, lines);
            QProcess::execute(u"/usr/sbin/lpadmin"_s, {u"-h"_s, server, u"-x"_s, u"report"_s});
            QVERIFY(QFile::remove(pdf));
        }
        QCOMPARE(printReport(entries, kWhen), u"Report printed."_s);
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        if (m_cupsd.state() != QProcess::Running)
            QSKIP("printed without printer only: a private cupsd needs root and the cups package");
    }

    // A printable area about 40 characters wide: a long entry is neither wrapped nor cut.
    void longEntryNeitherWrappedNorCut()
    {
        const QString pdf = m_dir.filePath(u"narrow.pdf"_s), name = u"very-"_s.repeated(12);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFileName(pdf);
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(15, 15, 110, 15), QPageLayout::Millimeter));
        QVERIFY(printReportOn(printer, {u"10.0.0.1\t"_s + name}, kWhen));
        QCOMPARE(pdfLines(pdf), (QStringList{kDate,
                                             {},
                                             u"10.0.0.1        "_s + name,
                                             {},
                                             u"1 IP Numbers"_s,
                                             u"<bold>"_s,
                                             kDate}));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
