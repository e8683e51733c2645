// The settings file reader and writer.
//
// Any bytes as a file: every value a lookup can reach (keys in normal form,
// without leading, trailing or doubled "/") survives writing and reading
// back, with no line reported damaged, and a second writing gives the same
// bytes. The same bytes cut at NUL as the values QSettings writes into an INI
// file: the reader gives each back unchanged.

#include "fuzzsupport.h"
#include "settingsfileformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

void checkRoundTrip(const QByteArray &bytes)
{
    const SettingsFileContents read = parseSettingsFile(bytes);
    for (const int line : read.damagedLines)
        FUZZ_CHECK(line >= 1 && line <= bytes.count('\n') + 1);
    QSettings::SettingsMap values;
    for (auto it = read.values.cbegin(); it != read.values.cend(); ++it) {
        const QString &key = it.key();
        if (!key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') && !key.contains(u"//"))
            values.insert(key, it.value());
    }
    const QByteArray written = formatSettingsFile(values);
    const SettingsFileContents reread = parseSettingsFile(written);
    FUZZ_CHECK(reread.values == values);
    FUZZ_CHECK(reread.damagedLines.isEmpty());
    FUZZ_CHECK(formatSettingsFile(reread.values) == written);
}

void checkQSettingsFile(const QByteArray &bytes)
{
    // In memory where there is such a place: QSettings syncs each file to disk.
    static const QTemporaryDir folder(QFileInfo(u"/dev/shm"_s).isWritable()
                                          ? u"/dev/shm/fuzz_settingsfile-XXXXXX"_s
                                          : QDir::tempPath() + u"/fuzz_settingsfile-XXXXXX"_s);
    const QString path = folder.filePath(u"Corvane.ini"_s);
    QFile::remove(path);
    QSettings::SettingsMap values;
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setAtomicSyncRequired(false);
        const QList<QByteArray> texts = bytes.split('\0');
        for (qsizetype i = 0; i < texts.size(); ++i) {
            values.insert(u"Options/Desc_%1"_s.arg(i), QString::fromUtf8(texts[i]));
            settings.setValue(u"Options/Desc_%1"_s.arg(i), QString::fromUtf8(texts[i]));
        }
    }
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    const SettingsFileContents read = parseSettingsFile(file.readAll());
    FUZZ_CHECK(read.values == values);
    FUZZ_CHECK(read.damagedLines.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkRoundTrip(fuzzBytes(data, size));
    // Each of these writes a file, which takes as long as many round trips.
    if (qHash(fuzzBytes(data, size)) % 8 == 0)
        checkQSettingsFile(fuzzBytes(data, size));
    return 0;
}
