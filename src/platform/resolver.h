#pragma once

#include <QString>

/// Forward lookup: the first IPv4 address of @p hostName in the resolver's
/// order, as dotted text, or "ERROR". An address text is answered without
/// asking the resolver, its parts read as decimal.
QString lookUpIpNumber(const QString &hostName);

/// Reverse lookup: the official name of the address @p ipNumber, or the empty
/// text. "0.0.0.0" is never asked about; a text that is not an address asks
/// about 255.255.255.255. Bytes of the name that could break a line or a
/// tab-separated field come back escaped (see escapeHostName()).
QString lookUpHostName(const QString &ipNumber);

/// The four bytes of @p networkOrderAddress, in memory order, as dotted
/// decimal text: the bytes 0A 00 00 01 give "10.0.0.1".
QString ipNumberFromAddress(quint32 networkOrderAddress);

/// Shape check of a typed address: exactly three dots, and each of the first
/// three parts a whole number from -32768 to 32767. The fourth part is not
/// examined.
bool hasIpNumberForm(const QString &text);
