// Settings texts. As a file: every value a lookup reaches (keys without leading, trailing or
// doubled
// "/") survives writing and reading back undamaged, a second writing gives the same bytes, and cut
// at NUL into values QSettings writes, the reader gives each back. As one stored value (and a whole
// number's neighbours, so a seed at a limit tests both sides): check states, "Parallel" and the
// command line as strtod and strtoll read them.

#include "fuzzsupport.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "settingsfileformat.h"

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

void checkFile(const QByteArray &bytes, bool withQSettings)
{
    const SettingsFileContents read = parseSettingsFile(bytes);
    for (const int line : read.damagedLines)
        FUZZ_CHECK(line >= 1 && line <= bytes.count('\n') + 1);
    QSettings::SettingsMap values = read.values;
    static const QRegularExpression unreachable(u"\\A/|/\\z|//"_s);
    values.removeIf([](auto it) { return it.key().contains(unreachable); });
    const QByteArray written = formatSettingsFile(values);
    const SettingsFileContents reread = parseSettingsFile(written);
    FUZZ_CHECK(reread.values == values && reread.damagedLines.isEmpty());
    FUZZ_CHECK(formatSettingsFile(reread.values) == written);
    if (!withQSettings)
        return;
    // In memory where there is such a place: QSettings syncs each file.
    static const QTemporaryDir folder(
        (QDir(u"/dev/shm"_s).exists() ? u"/dev/shm"_s : QDir::tempPath()) + u"/fuzz-XXXXXX"_s);
    const QString path = folder.filePath(u"Corvane.ini"_s);
    QFile::remove(path);
    values.clear();
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const QByteArray &text : bytes.split('\0')) {
            const QString key = u"Options/Desc_%1"_s.arg(values.size());
            values.insert(key, QString::fromUtf8(text));
            settings.setValue(key, QString::fromUtf8(text));
        }
    }
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    const SettingsFileContents fromQSettings = parseSettingsFile(file.readAll());
    FUZZ_CHECK(fromQSettings.values == values && fromQSettings.damagedLines.isEmpty());
}

std::optional<long long> wholeNumber(const QString &text)
{
    const QByteArray trimmed = text.trimmed().toLatin1();
    char *end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(trimmed.constData(), &end, 10);
    const bool all = !trimmed.isEmpty() && end == trimmed.constData() + trimmed.size();
    return all && errno == 0 ? std::optional(whole) : std::nullopt;
}

void checkValue(const QString &text)
{
    static const QRegularExpression spaces(u"\\A +| +\\z"_s);
    const QString core = QString(text).remove(spaces);
    FUZZ_CHECK(commandLineStartsScan(text) == (!core.isEmpty() && core != u"/p"));
    // Number characters only, with spaces around; halves round to even.
    const QByteArray latin = core.toLatin1();
    char *end = nullptr;
    errno = 0;
    const double real = std::strtod(latin.constData(), &end);
    const bool isNumber = !latin.isEmpty() && end == latin.constData() + latin.size() &&
                          std::strspn(latin.constData(), "0123456789.+-eE") == size_t(latin.size());
    const std::optional<qint16> number = settingToInteger(text);
    const double rounded = std::nearbyint(real);
    const bool fitsShort = rounded >= -32768.0 && rounded <= 32767.0;
    FUZZ_CHECK(isNumber ? errno == ERANGE ||
                              number == (fitsShort ? std::optional(qint16(rounded)) : std::nullopt)
                        : !number);
    const std::optional<Qt::CheckState> state = checkStateFromSetting(text);
    FUZZ_CHECK(state.has_value() == (number && *number >= 0 && *number <= 2));
    FUZZ_CHECK(!state || checkStateFromSetting(checkStateSettingText(*state)) == state);
    // Qt reads a number up to a NUL and ignores the rest: not compared.
    const std::optional<long long> whole = wholeNumber(text);
    const bool fits = whole && *whole >= 1 && *whole <= kMaxParallel;
    if (!text.contains(u'\0'))
        FUZZ_CHECK(parallelFromSetting(text) == (fits ? int(*whole) : kDefaultParallel));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Writing a file through QSettings takes as long as many round trips.
    checkFile(fuzzBytes(data, size), qHash(fuzzBytes(data, size)) % 8 == 0);
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    checkValue(text);
    if (const std::optional<long long> whole = wholeNumber(text); whole && qAbs(*whole) < 1 << 30) {
        checkValue(QString::number(*whole - 1));
        checkValue(QString::number(*whole + 1));
    }
    return 0;
}
