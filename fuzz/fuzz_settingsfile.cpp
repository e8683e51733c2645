// The settings file reader on any bytes, and the writer on what it read.
//
// Whatever a damaged file holds, every value QSettings can look up must
// survive being written and read again unchanged, with no line reported
// damaged, and writing it a second time must give the same bytes.
//
// QSettings looks keys up in their normal form only (no leading, trailing or
// doubled "/"); a hand-made file can hold other forms, such as "\key" under
// [General], which no lookup reaches. Those are left out here.

#include "fuzzsupport.h"
#include "settingsfileformat.h"

namespace {

bool isNormalKey(const QString &key)
{
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') && !key.contains(u"//");
}

QSettings::SettingsMap reachable(const QSettings::SettingsMap &values)
{
    QSettings::SettingsMap out;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (isNormalKey(it.key()))
            out.insert(it.key(), it.value());
    }
    return out;
}

void describeDifference(const QSettings::SettingsMap &first, const QSettings::SettingsMap &again)
{
    for (auto it = first.cbegin(); it != first.cend(); ++it) {
        if (again.value(it.key()) != it.value())
            std::fprintf(stderr, "key \"%s\": \"%s\" came back as \"%s\"\n", qPrintable(it.key()),
                         qPrintable(it.value().toString()),
                         qPrintable(again.value(it.key()).toString()));
    }
    for (auto it = again.cbegin(); it != again.cend(); ++it) {
        if (!first.contains(it.key()))
            std::fprintf(stderr, "key \"%s\" appeared\n", qPrintable(it.key()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const SettingsFileContents read = parseSettingsFile(fuzzBytes(data, size));
    for (const int line : read.damagedLines)
        FUZZ_CHECK(line >= 1);

    const QSettings::SettingsMap values = reachable(read.values);
    const QByteArray written = formatSettingsFile(values);
    const SettingsFileContents reread = parseSettingsFile(written);
    if (reread.values != values || !reread.damagedLines.isEmpty()) {
        describeDifference(values, reread.values);
        std::fprintf(stderr, "written as:\n%s\n", written.constData());
        FUZZ_CHECK(reread.values == values);
        FUZZ_CHECK(reread.damagedLines.isEmpty());
    }
    FUZZ_CHECK(formatSettingsFile(reread.values) == written);
    return 0;
}
