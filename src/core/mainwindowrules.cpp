#include "mainwindowrules.h"

using namespace Qt::StringLiterals;

QString joinCommandLine(const QStringList &argumentsAfterProgram)
{
    return argumentsAfterProgram.join(u' ');
}

bool commandLineStartsScan(const QString &commandLine)
{
    // Only spaces are taken off: "/p" with a tab beside it is another text.
    qsizetype first = 0;
    qsizetype last = commandLine.size();
    while (first < last && commandLine.at(first) == u' ')
        ++first;
    while (last > first && commandLine.at(last - 1) == u' ')
        --last;
    const QStringView trimmed = QStringView(commandLine).sliced(first, last - first);
    return !trimmed.isEmpty() && trimmed != u"/p";
}

QString windowCaption(const QString &ownIpNumber)
{
    return u"Corvane"_s + QString(12, u' ') + u"Your IP Number is "_s +
           (ownIpNumber.isEmpty() ? u"N/A"_s : ownIpNumber);
}

QString networkCheckHostName()
{
    const QString configured = qEnvironmentVariable("CORVANE_CHECK_HOST");
    return configured.isEmpty() ? u"www.debian.org"_s : configured;
}

int twipsToPixels(int twips, qreal logicalDpi)
{
    return qRound(twips * logicalDpi / 1440.0);
}
