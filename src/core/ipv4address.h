#pragma once

#include <QString>
#include <QStringView>
#include <optional>

/// Converts an address text the way the classic inet_addr does ("a.b.c.d",
/// "a.b.c", "a.b", "a", hex parts with 0x), except that a part with leading
/// zeros is decimal, never octal: "010.000.001.254" is 10.0.1.254.
/// Returns the address in host byte order, or nothing when the text is rejected.
std::optional<quint32> parseIPv4Address(QStringView text);
