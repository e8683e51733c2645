#include "printreport.h"

#include "reporttext.h"
#include "timestamp.h"
#include "waitcursor.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int ReportPointSize = 10;

// QFontInfo::fixedPitch() trusts the font's own flag, which some monospaced
// faces lack; the advances tell.
bool isMonospaced(const QFont &font)
{
    const QFontMetricsF metrics(font);
    return metrics.horizontalAdvance(u'i') == metrics.horizontalAdvance(u'W') &&
           metrics.horizontalAdvance(u'.') == metrics.horizontalAdvance(u'W');
}

struct ReportLine
{
    QString text;
    bool bold = false;
};

} // namespace

QFont reportFont()
{
    QFont font(u"Courier New"_s, ReportPointSize);
    if (!isMonospaced(font)) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(ReportPointSize);
    }
    return font;
}

QString printReport(const QStringList &entries, const QDateTime &now)
{
    WaitCursor hourglass;
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (!defaultPrinter.isNull()) {
        QPrinter printer(defaultPrinter, QPrinter::HighResolution);
        printer.setDocName(u"Corvane"_s);
        printReportOn(printer, entries, now);
    }
    return u"Report printed."_s;
}

bool printReportOn(QPrinter &printer, const QStringList &entries, const QDateTime &now)
{
    QList<ReportLine> lines;
    lines.reserve(entries.size() + 4);
    lines.append(ReportLine{formatReportDate(now), true});
    lines.append(ReportLine{});
    for (const QString &entry : entries)
        lines.append(ReportLine{expandTabs(entry)});
    lines.append(ReportLine{});
    lines.append(ReportLine{reportCountLine(entries.size())});

    QPainter painter;
    if (!painter.begin(&printer))
        return false;

    const QFont regular = reportFont();
    QFont bold = regular;
    bold.setBold(true);
    const QFontMetricsF metrics(regular, &printer);
    const qreal lineHeight = metrics.lineSpacing();
    const qreal pageHeight = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    const qsizetype linesPerPage =
        std::max<qsizetype>(1, static_cast<qsizetype>(std::floor(pageHeight / lineHeight)));

    qsizetype lineOnPage = 0;
    for (const ReportLine &line : lines) {
        if (lineOnPage == linesPerPage) {
            if (!printer.newPage())
                break;
            lineOnPage = 0;
        }
        if (!line.text.isEmpty()) {
            painter.setFont(line.bold ? bold : regular);
            const qreal baseline = static_cast<qreal>(lineOnPage) * lineHeight + metrics.ascent();
            painter.drawText(QPointF(0, baseline), line.text);
        }
        ++lineOnPage;
    }
    return painter.end();
}
