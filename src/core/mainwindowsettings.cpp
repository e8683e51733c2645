#include "mainwindowsettings.h"

#include "settingsstore.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

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

QString MainWindowSettings::readKey(const QString &key, const QString &defaultValue)
{
    return m_store.readSetting(u"Corvane"_s, u"Options"_s, key, defaultValue);
}

void MainWindowSettings::writeKey(const QString &key, const QString &value)
{
    m_store.writeSetting(u"Corvane"_s, u"Options"_s, key, value);
}

MainWindowValues MainWindowSettings::read(const QString &defaultPath)
{
    MainWindowValues values;
    values.path = readKey(u"Path"_s, defaultPath);
    values.file = readKey(u"File"_s, u"ipnums.txt"_s);
    values.start = readKey(u"Start"_s, u"0.0.0.0"_s);
    values.stop = readKey(u"Stop"_s, u"255.255.255.255"_s);
    values.enabled = checkStateFromSetting(readKey(u"Enabled"_s, u"1"_s)).value_or(Qt::Checked);
    values.overwrite = checkStateFromSetting(readKey(u"Overwrite"_s, u"1"_s)).value_or(Qt::Checked);
    values.parallel =
        parallelFromSetting(readKey(u"Parallel"_s, QString::number(kDefaultParallel)));
    return values;
}

void MainWindowSettings::write(const MainWindowValues &values)
{
    writeKey(u"Start"_s, values.start);
    writeKey(u"Stop"_s, values.stop);
    writeKey(u"Path"_s, values.path);
    writeKey(u"File"_s, values.file);
    writeKey(u"Enabled"_s, checkStateSettingText(values.enabled));
    writeKey(u"Overwrite"_s, checkStateSettingText(values.overwrite));
    m_store.flush();
}
