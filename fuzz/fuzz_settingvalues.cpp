// Stored "Enabled"/"Overwrite" (check states), "Parallel" and the command
// line, as any text may hold them: numbers as strtod and strtoll read them.
// A whole number is checked with its two neighbours, so that a seed at a
// limit tests both sides of it.

#include "fuzzsupport.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// strtoll's reading of the whole text without white space around it.
std::optional<long long> wholeNumber(const QString &text)
{
    const QByteArray trimmed = text.trimmed().toLatin1();
    char *end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(trimmed.constData(), &end, 10);
    if (trimmed.isEmpty() || end != trimmed.constData() + trimmed.size() || errno != 0)
        return std::nullopt;
    return whole;
}

void check(const QString &text)
{
    QStringView core(text);
    while (core.startsWith(u' '))
        core = core.sliced(1);
    while (core.endsWith(u' '))
        core.chop(1);
    FUZZ_CHECK(commandLineStartsScan(text) == (!core.isEmpty() && core != u"/p"));

    // A decimal number with spaces around it, rounded half to even: strtod
    // after the spaces, on number characters only, where it reads them all.
    const QByteArray latin = core.toLatin1();
    char *end = nullptr;
    errno = 0;
    const double real = std::strtod(latin.constData(), &end);
    const bool isNumber = !latin.isEmpty() && end == latin.constData() + latin.size() &&
                          std::strspn(latin.constData(), "0123456789.+-eE") == size_t(latin.size());
    const std::optional<qint16> number = settingToInteger(text);
    if (!isNumber) {
        FUZZ_CHECK(!number);
    } else if (errno != ERANGE) {
        const double rounded = std::nearbyint(real);
        const bool fits = rounded >= -32768.0 && rounded <= 32767.0;
        FUZZ_CHECK(number == (fits ? std::optional(qint16(rounded)) : std::nullopt));
    }
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
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    check(text);
    if (const std::optional<long long> whole = wholeNumber(text); whole && qAbs(*whole) < 1 << 30) {
        check(QString::number(*whole - 1));
        check(QString::number(*whole + 1));
    }
    return 0;
}
