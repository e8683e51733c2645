// The values read from the settings store at start-up, as any text may hold
// them: "Enabled"/"Overwrite" (check states), "Parallel", "Start"/"Stop"
// (written into the address field) and the command line.
//
// The numbers are compared with strtod in the C locale; the field must show
// either nothing or exactly the trimmed text it was given, and whatever it
// shows must read as four octets of 0 to 255.

#include "fuzzsupport.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"

#include <QApplication>
#include <QLineEdit>
#include <cerrno>
#include <clocale>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

IpAddressEdit *field = nullptr;

// strtod's reading of a text made of spaces around one decimal number.
struct Reference
{
    bool number = false;     ///< strtod reads all of it, and nothing but a decimal number
    bool outOfRange = false; ///< strtod reports overflow or underflow: not compared
    double value = 0;
};

Reference referenceNumber(const QString &text)
{
    QStringView body(text);
    while (!body.isEmpty() && body.front() == u' ')
        body = body.sliced(1);
    while (!body.isEmpty() && body.back() == u' ')
        body.chop(1);
    if (body.isEmpty())
        return {};
    for (const QChar c : body) {
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' ||
              c == u'E'))
            return {};
    }
    const QByteArray latin = body.toLatin1();
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(latin.constData(), &end);
    if (end != latin.constData() + latin.size())
        return {};
    return {true, errno == ERANGE, value};
}

void checkNumbers(const QString &text)
{
    const std::optional<qint16> number = settingToInteger(text);
    const Reference reference = referenceNumber(text);
    if (!reference.number) {
        FUZZ_CHECK(!number);
    } else if (!reference.outOfRange) {
        const double rounded = std::nearbyint(reference.value);
        const bool fits = rounded >= -32768.0 && rounded <= 32767.0;
        FUZZ_CHECK(number.has_value() == fits);
        if (number)
            FUZZ_CHECK(*number == static_cast<qint16>(rounded));
    }

    const std::optional<Qt::CheckState> state = checkStateFromSetting(text);
    FUZZ_CHECK(state.has_value() == (number && *number >= 0 && *number <= 2));
    if (state)
        FUZZ_CHECK(checkStateFromSetting(checkStateSettingText(*state)) == state);

    const int parallel = parallelFromSetting(text);
    FUZZ_CHECK(parallel >= 1 && parallel <= kMaxParallel);
}

void checkCommandLine(const QString &text)
{
    const bool starts = commandLineStartsScan(text);
    QStringView core(text);
    while (!core.isEmpty() && core.front() == u' ')
        core = core.sliced(1);
    while (!core.isEmpty() && core.back() == u' ')
        core.chop(1);
    FUZZ_CHECK(starts == (!core.isEmpty() && core != u"/p"));
}

void checkAddressField(const QString &text)
{
    field->setText(text);
    const QString shown = field->text();
    const QString trimmed = text.trimmed();
    FUZZ_CHECK(shown.isEmpty() || shown == trimmed);
    FUZZ_CHECK(shown.isEmpty() == !splitDottedOctets(trimmed).has_value());
    if (!shown.isEmpty())
        FUZZ_CHECK(splitDottedOctets(shown).has_value());
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(isOctetText(field->octetBox(i)->text()));
    // What the field shows is stored at close and read back at the next start.
    field->setText(shown);
    FUZZ_CHECK(field->text() == shown);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals may already be gone.
    new QApplication(*argc, *argv);
    // QApplication sets the locale from the environment; numbers are read in C.
    std::setlocale(LC_NUMERIC, "C");
    field = new IpAddressEdit;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    checkNumbers(text);
    checkCommandLine(text);
    checkAddressField(text);
    return 0;
}
