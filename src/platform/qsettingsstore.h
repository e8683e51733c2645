#pragma once

#include "settingsstore.h"

#include <QSet>
#include <QSettings>
#include <map>
#include <memory>

/// The settings store over QSettings: one file per application,
/// $XDG_CONFIG_HOME/<application>/<application>.conf, one INI section per
/// section. Values are read and written as exact texts (see settingsfileformat.h).
class QSettingsStore final : public SettingsStore
{
public:
    QSettingsStore();
    ~QSettingsStore() override;

    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override;
    bool writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override;
    bool flush() override;
    QString lastError() const override;

    /// The file that holds @p application's settings, or the empty text when
    /// the name cannot name a file.
    static QString fileName(const QString &application);

private:
    struct File
    {
        std::unique_ptr<QSettings> settings;
        QSettings::SettingsMap unsaved;
        bool damaged = false;
        bool backedUp = false;
    };

    File *open(const QString &application);
    bool saveFile(File &file);
    void noteError(const QString &message);

    std::map<QString, File> m_files;
    QString m_lastError;
};
