#pragma once

#include "iplistsettings.h"
#include "settingsstore.h"

#include <QDir>
#include <QMap>
#include <QStandardPaths>
#include <QTest>

/// Settings keys and their texts, as a test expects them in the store.
using KeyValues = QMap<QString, QString>;

/// Where the real store keeps Corvane's file, under the test's private
/// XDG_CONFIG_HOME.
inline QString corvaneConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Corvane");
}

inline void putOnDisk(const KeyValues &keys)
{
    const auto store = createSystemSettingsStore();
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        QVERIFY(store->writeSetting(QStringLiteral("Corvane"), QStringLiteral("Options"), it.key(),
                                    it.value()));
    QVERIFY(store->flush());
}

/// Every "IP_"/"Desc_" key in the file, read through a fresh store. A missing
/// key is told from an empty one by reading it with two defaults.
inline KeyValues listOnDisk()
{
    const auto store = createSystemSettingsStore();
    KeyValues keys;
    for (int slot = 0; slot < kIpListSlotCount; ++slot) {
        for (const QString &key : {ipListIpKey(slot), ipListDescKey(slot)}) {
            const auto read = [&](const QString &fallback) {
                return store->readSetting(QStringLiteral("Corvane"), QStringLiteral("Options"), key,
                                          fallback);
            };
            if (const QString value = read(QStringLiteral("<a>")); value == read({}))
                keys.insert(key, value);
        }
    }
    return keys;
}

/// The keys of rows 0, 1, ... holding the given IP Numbers and descriptions.
inline KeyValues rowKeys(const QList<IpListEntry> &rows)
{
    KeyValues keys;
    for (int slot = 0; slot < rows.size(); ++slot) {
        keys.insert(ipListIpKey(slot), rows.at(slot).ipNumber);
        keys.insert(ipListDescKey(slot), rows.at(slot).description);
    }
    return keys;
}
