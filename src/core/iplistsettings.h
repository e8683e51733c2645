#pragma once

#include "iplistentry.h"

#include <QList>
#include <QString>

class SettingsStore;

/// The settings keys of slot @p slot: "IP_<slot>" and "Desc_<slot>".
QString ipListIpKey(int slot);
QString ipListDescKey(int slot);

/// Reads all kIpListSlotCount slots in order, "IP_" n before "Desc_" n; a missing
/// key reads as the empty text. Always returns kIpListSlotCount entries.
QList<IpListEntry> loadIpList(SettingsStore &store);

/// Writes the rows in order as "IP_" k, "Desc_" k until the first row whose IP
/// Number is empty; keys from that row on are left as they are, never removed.
/// A failed write does not stop the ones after it. When anything was written
/// the store is flushed. Returns false when any write or the flush failed; the
/// store's lastError() says why.
bool saveIpList(SettingsStore &store, const QList<IpListEntry> &rows);

/// Reads the single key "IP_0", as the window does for its edit box.
QString readFirstIpNumber(SettingsStore &store);
