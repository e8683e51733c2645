#include "reporttext.h"

#include "timestamp.h"

using namespace Qt::StringLiterals;

namespace {
constexpr QLatin1StringView LineBreak("\r\n");
}

QString buildReportText(const QStringList &entries, const QDateTime &now)
{
    QString text = formatReportDate(now) + LineBreak + LineBreak;
    for (const QString &entry : entries)
        text += entry + LineBreak;
    text += LineBreak + reportCountLine(entries.size());
    return text;
}

QString reportCountLine(qsizetype entryCount)
{
    return QString::number(entryCount) + u" IP Numbers"_s;
}

QString copyStatusText(qsizetype length)
{
    return QString::number(length) + u" bytes copied to the clipboard."_s;
}

QString expandTabs(const QString &line, int tabSize)
{
    if (tabSize < 1 || !line.contains(u'\t'))
        return line;
    QString out;
    out.reserve(line.size() + tabSize);
    for (const QChar c : line) {
        if (c == u'\t')
            out += QString(tabSize - out.size() % tabSize, u' ');
        else
            out += c;
    }
    return out;
}
