#include "pdfreadback.h"

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

QByteArray runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(tool), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace

QString PdfReadback::missingTools()
{
    QStringList missing;
    for (const QString &tool : {u"pdftotext"_s, u"pdftohtml"_s, u"pdfinfo"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing.append(tool);
    }
    return missing.join(u", "_s);
}

QStringList PdfReadback::textLines(const QString &pdfPath, double charWidth)
{
    const QString text =
        QString::fromUtf8(runTool(u"pdftotext"_s, {u"-fixed"_s, QString::number(charWidth),
                                                   u"-enc"_s, u"UTF-8"_s, pdfPath, u"-"_s}));
    QStringList lines;
    const QStringList pages = text.split(u'\f');
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0) {
            if (pages.at(p).isEmpty())
                break; // pdftotext ends the last page with a form feed too
            lines.append(PageBreak);
        }
        QStringList pageLines = pages.at(p).split(u'\n');
        while (!pageLines.isEmpty() && pageLines.last().trimmed().isEmpty())
            pageLines.removeLast();
        for (const QString &line : std::as_const(pageLines)) {
            QString trimmed = line;
            while (trimmed.endsWith(u' '))
                trimmed.chop(1);
            lines.append(trimmed);
        }
    }
    qsizetype margin = -1;
    for (const QString &line : std::as_const(lines)) {
        if (line.isEmpty() || line == PageBreak)
            continue;
        const qsizetype indent = line.size() - QStringView(line).trimmed().size();
        if (margin < 0 || indent < margin)
            margin = indent;
    }
    if (margin > 0) {
        for (QString &line : lines) {
            if (line != PageBreak)
                line.remove(0, margin);
        }
    }
    return lines;
}

QList<PdfTextRun> PdfReadback::textRuns(const QString &pdfPath)
{
    QXmlStreamReader xml(
        runTool(u"pdftohtml"_s, {u"-xml"_s, u"-i"_s, u"-q"_s, u"-stdout"_s, u"-nodrm"_s, pdfPath}));
    QHash<QString, QString> families;
    QList<PdfTextRun> runs;
    int page = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"page") {
            page = xml.attributes().value(u"number"_s).toInt();
        } else if (xml.attributes().hasAttribute(u"family"_s)) {
            // A font definition: pdftohtml names each face once, by id.
            families.insert(xml.attributes().value(u"id"_s).toString(),
                            xml.attributes().value(u"family"_s).toString());
        } else if (xml.name() == u"text") {
            PdfTextRun run;
            run.page = page;
            run.top = xml.attributes().value(u"top"_s).toInt();
            run.left = xml.attributes().value(u"left"_s).toInt();
            run.fontFamily = families.value(xml.attributes().value(u"font"_s).toString());
            run.bold = run.fontFamily.contains(u"Bold"_s, Qt::CaseInsensitive);
            // The text may be wrapped in <b>, <i> or <a>; collect all of it.
            int depth = 1;
            while (depth > 0 && !xml.atEnd()) {
                switch (xml.readNext()) {
                case QXmlStreamReader::StartElement:
                    ++depth;
                    if (xml.name() == u"b")
                        run.bold = true;
                    break;
                case QXmlStreamReader::EndElement:
                    --depth;
                    break;
                case QXmlStreamReader::Characters:
                    run.text += xml.text();
                    break;
                default:
                    break;
                }
            }
            runs.append(run);
        }
    }
    return runs;
}

int PdfReadback::pageCount(const QString &pdfPath)
{
    const QString info = QString::fromUtf8(runTool(u"pdfinfo"_s, {pdfPath}));
    const QRegularExpressionMatch match =
        QRegularExpression(u"^Pages:\\s+(\\d+)"_s, QRegularExpression::MultilineOption).match(info);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}
