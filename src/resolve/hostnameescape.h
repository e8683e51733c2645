#pragma once

#include <QByteArrayView>
#include <QString>

/// Turns a host name as the resolver delivered it into text that is safe in a
/// tab-separated result line and a CR LF log line: every control byte (below
/// 0x20, and 0x7F), every byte from 0x80 up and the backslash itself become
/// "\xHH" with two upper-case hex digits; all other bytes stay as they are.
/// Escaping rather than dropping keeps a strange name visible and tells two
/// strange names apart.
QString escapeHostName(QByteArrayView rawName);
