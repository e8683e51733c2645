#include "pdfreadback.h"
#include "printreport.h"
#include "reporttext.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestReportPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportFontIsFixedPitch();
    void printedLines_data();
    void printedLines();
    void dateLineIsBoldAndFirst();
    void fullPageContinuesOnNextPage();
    void printingWithoutPrinterStillReports();

private:
    QString printToPdf(const QStringList &entries, const QMarginsF &marginsMm = {15, 15, 15, 15});
    static double reportCharWidth();

    QTemporaryDir m_dir;
    int m_pdfCount = 0;
};

static const QDateTime ReportTime(QDate(2026, 12, 5), QTime(3, 11, 0));

void TestReportPrint::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // No print server behind this name: nothing here may reach a real printer.
    qputenv("CUPS_SERVER", m_dir.filePath(u"no-print-server.sock"_s).toLocal8Bit());
}

QString TestReportPrint::printToPdf(const QStringList &entries, const QMarginsF &marginsMm)
{
    const QString path = m_dir.filePath(u"report-%1.pdf"_s.arg(++m_pdfCount));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, marginsMm,
                                      QPageLayout::Millimeter));
    if (!printReportOn(printer, entries, ReportTime))
        return {};
    return path;
}

// The width of one character of the report font, in points.
double TestReportPrint::reportCharWidth()
{
    QPdfWriter pointGrid(QString{});
    pointGrid.setResolution(72);
    return QFontMetricsF(reportFont(), &pointGrid).horizontalAdvance(u'W');
}

void TestReportPrint::reportFontIsFixedPitch()
{
    const QFont font = reportFont();
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(u"WWWWWWWWWW"_s);
    for (const QString &sample :
         {u"iiiiiiiiii"_s, u"1.1.1.1.1."_s, u"          "_s, u"mmmmmmmmmm"_s})
        QCOMPARE(metrics.horizontalAdvance(sample), width);
    QCOMPARE(font.pointSize(), 10);
    QVERIFY(!font.bold());
}

void TestReportPrint::printedLines_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QMarginsF>("marginsMm");
    QTest::addColumn<QStringList>("lines");

    const QMarginsF margins(15, 15, 15, 15);
    // A printable area only about 40 characters wide on a sheet with room
    // for about 90: a line cut or wrapped at the printable width would show.
    const QMarginsF narrow(15, 15, 110, 15);
    const QString longName = u"very-"_s.repeated(12) + u"long.example"_s;
    QTest::newRow("empty list: date, two empty lines, zero count")
        << QStringList() << margins
        << QStringList{u"12/05/26 03:11 am"_s, QString(), QString(), u"0 IP Numbers"_s};
    QTest::newRow("entries in order between empty lines")
        << QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s} << margins
        << QStringList{u"12/05/26 03:11 am"_s, QString(), u"10.0.0.1"_s,    u"10.0.0.2"_s,
                       u"10.0.0.3"_s,          QString(), u"3 IP Numbers"_s};
    QTest::newRow("tabs printed as columns")
        << QStringList{u"10.0.0.1\thost.example\t12/05/26 03:10:00 am"_s,
                       u"10.0.0.22\t\t12/05/26 03:10:01 am"_s}
        << margins
        << QStringList{u"12/05/26 03:11 am"_s,
                       QString(),
                       u"10.0.0.1        host.example    12/05/26 03:10:00 am"_s,
                       u"10.0.0.22               12/05/26 03:10:01 am"_s,
                       QString(),
                       u"2 IP Numbers"_s};
    QTest::newRow("long line neither wrapped nor cut")
        << QStringList{u"10.0.0.1\t"_s + longName} << narrow
        << QStringList{u"12/05/26 03:11 am"_s, QString(), u"10.0.0.1        "_s + longName,
                       QString(), u"1 IP Numbers"_s};
}

void TestReportPrint::printedLines()
{
    if (const QString missing = PdfReadback::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(u"poppler-utils tools missing: "_s + missing));
    QFETCH(QStringList, entries);
    QFETCH(QMarginsF, marginsMm);
    QFETCH(QStringList, lines);

    const QString pdf = printToPdf(entries, marginsMm);
    QVERIFY(!pdf.isEmpty());
    QCOMPARE(PdfReadback::pageCount(pdf), 1);
    QCOMPARE(PdfReadback::textLines(pdf, reportCharWidth()), lines);
}

void TestReportPrint::dateLineIsBoldAndFirst()
{
    if (const QString missing = PdfReadback::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(u"poppler-utils tools missing: "_s + missing));

    const QString pdf = printToPdf({u"10.0.0.1"_s, u"10.0.0.2"_s});
    QVERIFY(!pdf.isEmpty());
    const QList<PdfTextRun> runs = PdfReadback::textRuns(pdf);
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs.at(0).text, u"12/05/26 03:11 am"_s);
    QVERIFY(runs.at(0).bold);
    for (qsizetype i = 1; i < runs.size(); ++i) {
        QVERIFY2(!runs.at(i).bold, qPrintable(runs.at(i).text));
        QVERIFY(runs.at(i).top > runs.at(i - 1).top);
    }
    // One empty line after the date and one before the count line; the
    // positions are rounded to whole units.
    const int step = runs.at(2).top - runs.at(1).top;
    QVERIFY(step > 0);
    QVERIFY(qAbs(runs.at(1).top - runs.at(0).top - 2 * step) <= 2);
    QVERIFY(qAbs(runs.at(3).top - runs.at(2).top - 2 * step) <= 2);
    QCOMPARE(runs.at(3).text, u"2 IP Numbers"_s);
    // Every line starts at the same left margin.
    for (const PdfTextRun &run : runs)
        QCOMPARE(run.left, runs.at(0).left);
}

void TestReportPrint::fullPageContinuesOnNextPage()
{
    if (const QString missing = PdfReadback::missingTools(); !missing.isEmpty())
        QSKIP(qPrintable(u"poppler-utils tools missing: "_s + missing));

    QStringList entries;
    for (int i = 0; i < 250; ++i)
        entries.append(u"10.0.%1.%2\tname-%3.example"_s.arg(i / 256).arg(i % 256).arg(i));
    const QString pdf = printToPdf(entries);
    QVERIFY(!pdf.isEmpty());
    QVERIFY(PdfReadback::pageCount(pdf) >= 2);

    QStringList printed;
    for (const QString &line : PdfReadback::textLines(pdf, reportCharWidth())) {
        if (!line.isEmpty() && line != PdfReadback::PageBreak)
            printed.append(line);
    }
    QCOMPARE(printed.size(), entries.size() + 2);
    QCOMPARE(printed.first(), u"12/05/26 03:11 am"_s);
    QCOMPARE(printed.last(), u"250 IP Numbers"_s);
    for (qsizetype i = 0; i < entries.size(); ++i)
        QCOMPARE(printed.at(i + 1), expandTabs(entries.at(i)));
}

void TestReportPrint::printingWithoutPrinterStillReports()
{
    QVERIFY(QPrinterInfo::defaultPrinter().isNull());
    QCOMPARE(printReport({u"10.0.0.1"_s}, ReportTime), u"Report printed."_s);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(printReport({}, ReportTime), u"Report printed."_s);
}

QTEST_MAIN(TestReportPrint)
#include "tst_reportprint.moc"
