#include "iplistsettings.h"

#include "settingsstore.h"

using namespace Qt::StringLiterals;

namespace {

const QString kApplication = u"Corvane"_s;
const QString kSection = u"Options"_s;

} // namespace

QString ipListIpKey(int slot)
{
    return u"IP_"_s + QString::number(slot);
}

QString ipListDescKey(int slot)
{
    return u"Desc_"_s + QString::number(slot);
}

QList<IpListEntry> loadIpList(SettingsStore &store)
{
    QList<IpListEntry> entries;
    entries.reserve(kIpListSlotCount);
    for (int slot = 0; slot < kIpListSlotCount; ++slot) {
        IpListEntry entry;
        entry.ipNumber = store.readSetting(kApplication, kSection, ipListIpKey(slot), QString());
        entry.description =
            store.readSetting(kApplication, kSection, ipListDescKey(slot), QString());
        entries.append(entry);
    }
    return entries;
}

bool saveIpList(SettingsStore &store, const QList<IpListEntry> &rows)
{
    bool allWritten = true;
    int key = 0;
    for (const IpListEntry &row : rows) {
        if (row.ipNumber.isEmpty() || key >= kIpListSlotCount)
            break;
        if (!store.writeSetting(kApplication, kSection, ipListIpKey(key), row.ipNumber))
            allWritten = false;
        if (!store.writeSetting(kApplication, kSection, ipListDescKey(key), row.description))
            allWritten = false;
        ++key;
    }
    // Nothing written means nothing to lose: a store that cannot even be read
    // must not turn an untouched list into a failure.
    if (key > 0 && !store.flush())
        allWritten = false;
    return allWritten;
}

QString readFirstIpNumber(SettingsStore &store)
{
    return store.readSetting(kApplication, kSection, ipListIpKey(0), QString());
}
