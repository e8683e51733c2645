#pragma once

#include <QByteArrayView>
#include <QString>

/// Turns a host name as the resolver delivered it into text that is safe in a
/// tab-separated result line and a CR LF log line. Valid UTF-8 comes back as
/// text, so "café.lab.test" reads as such. Control characters (C0, DEL and
/// the C1 range U+0080 to U+009F), the backslash itself and every byte that
/// is not part of valid UTF-8 become "\xHH" with two upper-case hex digits,
/// one escape per byte. Escaping rather than dropping keeps a strange name
/// visible and tells two strange names apart.
QString escapeHostName(QByteArrayView rawName);
