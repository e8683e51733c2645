#pragma once

#include "settingsstore.h"

#include <QSet>
#include <QStringList>

/// Passes every call on to a real store and notes it, so that a test can check
/// the order of reads and writes. A write to a key in failingKeys is refused
/// without reaching the store: a real store cannot fail one chosen key.
class RecordingSettingsStore : public SettingsStore
{
public:
    explicit RecordingSettingsStore(SettingsStore &store)
        : m_store(store)
    {}

    QStringList reads;  ///< keys read, in order ("app/section/" in front unless Corvane/Options)
    QStringList writes; ///< "key=value" written, in order
    QSet<QString> failingKeys;
    int flushes = 0;

    QString readSetting(const QString &app, const QString &section, const QString &key,
                        const QString &defaultValue) override
    {
        reads.append(where(app, section) + key);
        return m_store.readSetting(app, section, key, defaultValue);
    }
    bool writeSetting(const QString &app, const QString &section, const QString &key,
                      const QString &value) override
    {
        writes.append(where(app, section) + key + u'=' + value);
        return !failingKeys.contains(key) && m_store.writeSetting(app, section, key, value);
    }
    bool flush() override
    {
        ++flushes;
        return m_store.flush();
    }
    QString lastError() const override { return m_store.lastError(); }

private:
    static QString where(const QString &app, const QString &section)
    {
        return app == u"Corvane" && section == u"Options" ? QString() : app + u'/' + section + u'/';
    }

    SettingsStore &m_store;
};
