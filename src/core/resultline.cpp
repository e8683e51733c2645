#include "resultline.h"

QString domainFromResultLine(const QString &line)
{
    const qsizetype firstTab = line.indexOf(u'\t');
    if (firstTab < 0)
        return line;
    const qsizetype start = firstTab + 1;
    const qsizetype nextTab = line.indexOf(u'\t', start);
    return nextTab < 0 ? line.mid(start) : line.mid(start, nextTab - start);
}
