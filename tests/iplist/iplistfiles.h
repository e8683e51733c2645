#pragma once

#include "iplistsettings.h"
#include "settingsstore.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

// The list's keys in the settings file of a private config folder.
using KeyValues = QMap<QString, QString>;

inline bool usePrivateConfig(const QTemporaryDir &folder)
{
    return folder.isValid() && qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
}

inline KeyValues keysOf(const QList<IpListEntry> &rows)
{
    KeyValues keys;
    for (int slot = 0; slot < rows.size(); ++slot)
        keys.insert({{ipListIpKey(slot), rows.at(slot).ipNumber},
                     {ipListDescKey(slot), rows.at(slot).description}});
    return keys;
}

inline void putOnDisk(const KeyValues &keys)
{
    QDir(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Corvane").removeRecursively();
    const auto store = createSystemSettingsStore();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        QVERIFY(store->writeSetting(QStringLiteral("Corvane"), QStringLiteral("Options"), it.key(),
                                    it.value()));
    QVERIFY(store->flush());
}

// Every list key in the file, read through a fresh store; a missing key is told
// from an empty one by reading it with two defaults.
inline KeyValues listOnDisk()
{
    const auto store = createSystemSettingsStore();
    const auto read = [&](const QString &key, const QString &fallback) {
        return store->readSetting(QStringLiteral("Corvane"), QStringLiteral("Options"), key,
                                  fallback);
    };
    KeyValues keys;
    for (int slot = 0; slot < kIpListSlotCount; ++slot)
        for (const QString &key : {ipListIpKey(slot), ipListDescKey(slot)})
            if (read(key, QStringLiteral("?")) == read(key, {}))
                keys.insert(key, read(key, {}));
    return keys;
}
