#include "echoprober.h"

#include "ipv4address.h"

EchoProber::ProbeId EchoProber::probe(const QString &ipNumberText, int ttl, int timeoutMs)
{
    const std::optional<quint32> address = parseIPv4Address(ipNumberText);
    if (!address)
        return finishLater(false);
    return probe(*address, ttl, timeoutMs);
}
