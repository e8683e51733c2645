#include "systemhostresolver.h"

#include "resolver.h"

QString SystemHostResolver::hostNameToIpNumber(const QString &hostName)
{
    return lookUpIpNumber(hostName);
}

QString SystemHostResolver::ipNumberToHostName(const QString &ipNumber)
{
    return lookUpHostName(ipNumber);
}

std::unique_ptr<HostResolver> createSystemHostResolver()
{
    return std::make_unique<SystemHostResolver>();
}
