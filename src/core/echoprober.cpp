#include "echoprober.h"

#include "ipv4address.h"

using namespace Qt::StringLiterals;

EchoProber::ProbeId EchoProber::probe(const QString &ipNumberText, int ttl, int timeoutMs)
{
    const std::optional<quint32> address = parseIPv4Address(ipNumberText);
    if (!address)
        return finishLater(false);
    return probe(*address, ttl, timeoutMs);
}

QString echoUnavailableMessage(const QString &reason)
{
    return u"Echo requests cannot be sent on this computer, so no IP Number can be pinged.\n\n"_s +
           reason;
}
