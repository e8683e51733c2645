#pragma once

#include "settingsstore.h"

#include <QSet>
#include <QStringList>

/// Passes every call on to a real store and notes it, so a test can check the
/// order of reads and writes. A write to a key in failingKeys is refused
/// without reaching the store: a real store cannot fail one chosen key.
class RecordingSettingsStore : public SettingsStore
{
public:
    explicit RecordingSettingsStore(SettingsStore &store)
        : m_store(store)
    {}

    QStringList reads;  ///< keys read, in order
    QStringList writes; ///< "key=value" written, in order
    QSet<QString> failingKeys;
    int flushes = 0;

    QString ReadSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override
    {
        reads.append(where(application, section) + key);
        return m_store.ReadSetting(application, section, key, defaultValue);
    }

    bool WriteSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override
    {
        writes.append(where(application, section) + key + QLatin1Char('=') + value);
        if (failingKeys.contains(key))
            return false;
        return m_store.WriteSetting(application, section, key, value);
    }

    bool flush() override
    {
        ++flushes;
        return m_store.flush();
    }

    QString lastError() const override { return m_store.lastError(); }

private:
    // Anything outside Corvane/Options shows up in the records with its place.
    static QString where(const QString &application, const QString &section)
    {
        if (application == QLatin1String("Corvane") && section == QLatin1String("Options"))
            return {};
        return application + QLatin1Char('/') + section + QLatin1Char('/');
    }

    SettingsStore &m_store;
};
