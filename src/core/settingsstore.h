#pragma once

#include <QString>
#include <memory>

/// The per-user store of text settings, addressed by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// The stored text, or @p defaultValue when the key is missing.
    virtual QString readSetting(const QString &application, const QString &section,
                                const QString &key, const QString &defaultValue) = 0;
    /// Stores @p value, creating whatever is missing. Returns false when the
    /// store could not be written; lastError() then says why.
    virtual bool writeSetting(const QString &application, const QString &section,
                              const QString &key, const QString &value) = 0;
    /// Writes pending values to disk; false when that failed.
    virtual bool flush() = 0;
    /// The first failure since the store was opened, or the empty text.
    virtual QString lastError() const = 0;
};

/// The native per-user store: on Linux $XDG_CONFIG_HOME/<application>/<application>.conf.
std::unique_ptr<SettingsStore> createSystemSettingsStore();
