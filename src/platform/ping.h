#pragma once

#include <QString>

/// Sends one ICMP echo request to @p address (an IP Number text, converted
/// with decimal octets) with time-to-live @p ttl, and waits up to @p timeout
/// milliseconds, counted from the moment the request left, for its reply.
/// Blocks the calling thread meanwhile; opens and closes its own socket.
///
/// True only when the echo reply came back from that address. False for a
/// text that is no address (nothing is sent), a time-to-live outside 1..255
/// (a request cannot leave with 0, and narrowing anything else gives 0), an
/// ICMP error about the request (at once), no reply in time, or when echo
/// requests cannot be sent here at all.
bool Ping(const QString &address, int ttl, int timeout);

/// Why echo requests cannot be sent from this program, and how to allow them;
/// empty when they can.
QString echoUnavailableReason();
