#include "qsettingsstore.h"

#include "settingsfileformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SettingsStore", text);
}

bool isUsableName(const QString &name, bool allowEmpty)
{
    if (name.isEmpty())
        return allowEmpty;
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

bool isUsableApplication(const QString &application)
{
    return isUsableName(application, false) && application != u"." && application != u"..";
}

QString fullKey(const QString &section, const QString &key)
{
    return section.isEmpty() ? key : section + u'/' + key;
}

// Why @p fileName cannot be written, or the empty text when it can. Tried
// rather than judged from permission bits, which say nothing for root or
// for read-only mounts.
QString unwritableReason(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (info.exists()) {
        if (info.isDir())
            return tr("The settings file %1 is a folder, not a file.").arg(fileName);
        QFile file(fileName);
        if (!file.open(QIODevice::ReadWrite))
            return tr("The settings file %1 cannot be written: %2")
                .arg(fileName, file.errorString());
        return {};
    }
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        return tr("The settings folder %1 cannot be created.").arg(folder);
    QTemporaryFile probe(folder + u"/.corvane-XXXXXX"_s);
    if (!probe.open())
        return tr("The settings folder %1 cannot be written: %2").arg(folder, probe.errorString());
    return {};
}

} // namespace

QSettingsStore::QSettingsStore() = default;

QSettingsStore::~QSettingsStore()
{
    flush();
}

QString QSettingsStore::fileName(const QString &application)
{
    if (!isUsableApplication(application))
        return {};
    return QSettings(corvaneSettingsFormat(), QSettings::UserScope, application, application)
        .fileName();
}

QSettingsStore::File *QSettingsStore::open(const QString &application)
{
    if (!isUsableApplication(application)) {
        noteError(tr("\"%1\" cannot name a settings file.").arg(application));
        return nullptr;
    }
    if (const auto found = m_files.find(application); found != m_files.end())
        return &found->second;

    File &file = m_files[application];
    file.settings = std::make_unique<QSettings>(corvaneSettingsFormat(), QSettings::UserScope,
                                                application, application);
    // Only the user's own file: never values from /etc/xdg or an organisation-wide file.
    file.settings->setFallbacksEnabled(false);

    const QString name = file.settings->fileName();
    const QFileInfo info(name);
    if (info.isDir()) {
        noteError(tr("The settings file %1 is a folder, not a file.").arg(name));
    } else if (info.exists()) {
        QFile disk(name);
        if (!disk.open(QIODevice::ReadOnly)) {
            noteError(tr("The settings file %1 cannot be read: %2").arg(name, disk.errorString()));
        } else {
            const SettingsFileContents contents = parseSettingsFile(disk.readAll());
            if (!contents.damagedLines.isEmpty()) {
                file.damaged = true;
                noteError(tr("The settings file %1 has lines that could not be read (the first "
                             "is line %2); the file is copied to %3 before it is rewritten.")
                              .arg(name)
                              .arg(contents.damagedLines.constFirst())
                              .arg(name + u".bak"_s));
            }
        }
    }
    return &file;
}

QString QSettingsStore::readSetting(const QString &application, const QString &section,
                                    const QString &key, const QString &defaultValue)
{
    if (!isUsableName(section, true) || !isUsableName(key, false))
        return defaultValue;
    File *file = open(application);
    if (!file)
        return defaultValue;
    const QVariant value = file->settings->value(fullKey(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

bool QSettingsStore::writeSetting(const QString &application, const QString &section,
                                  const QString &key, const QString &value)
{
    if (!isUsableName(section, true) || !isUsableName(key, false)) {
        noteError(tr("\"%1\" in \"%2\" cannot name a setting.").arg(key, section));
        return false;
    }
    File *file = open(application);
    if (!file)
        return false;

    const QString name = file->settings->fileName();
    if (const QString reason = unwritableReason(name); !reason.isEmpty()) {
        noteError(reason);
        return false;
    }
    if (file->damaged && !file->backedUp) {
        const QString copy = name + u".bak"_s;
        QFile::remove(copy);
        if (!QFile::copy(name, copy))
            noteError(tr("The settings file %1 could not be copied to %2.").arg(name, copy));
        file->backedUp = true;
    }
    file->settings->setValue(fullKey(section, key), value);
    file->unsaved.insert(fullKey(section, key), value);
    return true;
}

bool QSettingsStore::saveFile(File &file)
{
    if (file.unsaved.isEmpty())
        return true;
    file.settings->sync();

    // QSettings keeps its first error for good, so its status cannot tell
    // whether this save worked: read the file back instead.
    const QString name = file.settings->fileName();
    QFile disk(name);
    const SettingsFileContents contents =
        disk.open(QIODevice::ReadOnly) ? parseSettingsFile(disk.readAll()) : SettingsFileContents();
    for (auto it = file.unsaved.cbegin(); it != file.unsaved.cend(); ++it) {
        if (contents.values.value(it.key()) != it.value()) {
            const QString reason = unwritableReason(name);
            noteError(reason.isEmpty() ? tr("The settings could not be saved to %1.").arg(name)
                                       : reason);
            return false;
        }
    }
    file.unsaved.clear();
    return true;
}

bool QSettingsStore::flush()
{
    bool ok = true;
    for (auto &entry : m_files)
        ok = saveFile(entry.second) && ok;
    return ok;
}

QString QSettingsStore::lastError() const
{
    return m_lastError;
}

void QSettingsStore::noteError(const QString &message)
{
    if (m_lastError.isEmpty())
        m_lastError = message;
}

std::unique_ptr<SettingsStore> createSystemSettingsStore()
{
    return std::make_unique<QSettingsStore>();
}
