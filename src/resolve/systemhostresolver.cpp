#include "systemhostresolver.h"

#include "resolver.h"

QString SystemHostResolver::hostNameToIPNumber(const QString &hostName)
{
    return HostNameToIPNumber(hostName);
}

QString SystemHostResolver::ipNumberToHostName(const QString &ipNumber)
{
    return IPNumberToHostName(ipNumber);
}

std::unique_ptr<HostResolver> createSystemHostResolver()
{
    return std::make_unique<SystemHostResolver>();
}
