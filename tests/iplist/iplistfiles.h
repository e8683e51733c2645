#pragma once

#include "iplistsettings.h"
#include "settingsstore.h"

#include <QDir>
#include <QMap>
#include <QTest>

// The list's keys in the settings file under XDG_CONFIG_HOME (a private folder).
using KeyValues = QMap<QString, QString>;

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
        QVERIFY(store->writeSetting(u"Corvane"_qs, u"Options"_qs, it.key(), it.value()));
    QVERIFY(store->flush());
}

// Every list key in the file: a missing key is told from an empty one by two defaults.
inline KeyValues listOnDisk()
{
    const auto store = createSystemSettingsStore();
    KeyValues keys;
    for (int slot = 0; slot < kIpListSlotCount; ++slot)
        for (const QString &key : {ipListIpKey(slot), ipListDescKey(slot)})
            if (const QString v = store->readSetting(u"Corvane"_qs, u"Options"_qs, key, u"?"_qs);
                v == store->readSetting(u"Corvane"_qs, u"Options"_qs, key, {}))
                keys.insert(key, v);
    return keys;
}
