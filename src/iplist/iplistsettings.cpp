#include "iplistsettings.h"

#include "settingsstore.h"

using namespace Qt::StringLiterals;

namespace {

const QString Application = u"Corvane"_s;
const QString Section = u"Options"_s;

} // namespace

QString IPListIPKey(int slot)
{
    return u"IP_"_s + QString::number(slot);
}

QString IPListDescKey(int slot)
{
    return u"Desc_"_s + QString::number(slot);
}

QList<IPListEntry> LoadEntries(SettingsStore &store)
{
    QList<IPListEntry> entries;
    entries.reserve(IPListSlotCount);
    for (int slot = 0; slot < IPListSlotCount; ++slot) {
        IPListEntry entry;
        entry.ipNumber = store.ReadSetting(Application, Section, IPListIPKey(slot), QString());
        entry.description = store.ReadSetting(Application, Section, IPListDescKey(slot), QString());
        entries.append(entry);
    }
    return entries;
}

bool SaveEntries(SettingsStore &store, const QList<IPListEntry> &rows)
{
    bool allWritten = true;
    int key = 0;
    for (const IPListEntry &row : rows) {
        if (row.ipNumber.isEmpty() || key >= IPListSlotCount)
            break;
        if (!store.WriteSetting(Application, Section, IPListIPKey(key), row.ipNumber))
            allWritten = false;
        if (!store.WriteSetting(Application, Section, IPListDescKey(key), row.description))
            allWritten = false;
        ++key;
    }
    // Nothing written means nothing to lose: a store that cannot even be read
    // must not turn an untouched list into a failure.
    if (key > 0 && !store.flush())
        allWritten = false;
    return allWritten;
}

QString ReadFirstIPNumber(SettingsStore &store)
{
    return store.ReadSetting(Application, Section, IPListIPKey(0), QString());
}
