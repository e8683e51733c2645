#pragma once

#include <QByteArray>
#include <optional>

// The platform's host-entry calls. Both block until the resolver answers and
// are safe to call from several threads at once.

/// The first address of the host entry for @p hostName, in network byte order
/// (first octet first in memory), or nothing when there is no entry.
std::optional<quint32> lookupFirstIPv4Address(const QByteArray &hostName);

/// The official name of the host entry for @p networkOrderAddress, raw as the
/// resolver delivered it, or nothing when there is no entry or no name.
std::optional<QByteArray> lookupOfficialHostName(quint32 networkOrderAddress);
