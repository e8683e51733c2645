#include "mainwindowrules.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

QString settingsApplication()
{
    return u"Corvane"_s;
}

QString settingsSection()
{
    return u"Options"_s;
}

std::optional<qint16> settingToInteger(const QString &text)
{
    // Spaces around the number are allowed, nothing else: no hex, no
    // thousands separators, no words such as "inf".
    // \z, not $: "$" also matches before a final line break.
    static const QRegularExpression number(
        u"\\A *[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)? *\\z"_s);
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // Halves go to the even neighbour, as the default rounding mode does.
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

std::optional<Qt::CheckState> checkStateFromSetting(const QString &text)
{
    const std::optional<qint16> value = settingToInteger(text);
    if (!value)
        return std::nullopt;
    switch (*value) {
    case 0:
        return Qt::Unchecked;
    case 1:
        return Qt::Checked;
    case 2:
        return Qt::PartiallyChecked;
    default:
        return std::nullopt;
    }
}

QString checkStateSettingText(Qt::CheckState state)
{
    switch (state) {
    case Qt::Unchecked:
        return u"0"_s;
    case Qt::PartiallyChecked:
        return u"2"_s;
    case Qt::Checked:
        break;
    }
    return u"1"_s;
}

int parallelFromSetting(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 1 || value > kMaxParallel)
        return kDefaultParallel;
    return value;
}

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

QString resultListLine(bool pingMode, bool namesWanted, const QString &address, const QString &name,
                       const QString &timeStamp)
{
    if (!pingMode)
        return address + u'\t' + name;
    if (namesWanted)
        return address + u'\t' + name + u'\t' + timeStamp;
    return address + u'\t' + timeStamp;
}

QString counterLabelText(qint64 count, bool pingMode)
{
    // Groups of three digits are always separated, also where the locale
    // (C, for one) leaves separators out by default.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(count) + (pingMode ? u" pinged IP Numbers"_s : u" domain names"_s);
}

int twipsToPixels(int twips, qreal logicalDpi)
{
    return qRound(twips * logicalDpi / 1440.0);
}

int nextTabStop(int x, const QList<int> &stops)
{
    for (const int stop : stops) {
        if (stop > x)
            return stop;
    }
    if (stops.isEmpty())
        return x;
    const int last = stops.constLast();
    const int interval = stops.size() > 1 ? last - stops.at(stops.size() - 2) : last;
    if (interval <= 0)
        return x;
    return last + ((x - last) / interval + 1) * interval;
}
