#pragma once

#include <QString>
#include <memory>

/// The forward and reverse host lookups as an object, so that the scan can be
/// given another resolver in tests. Both calls block and are safe to call from
/// several threads at once.
class HostResolver
{
public:
    virtual ~HostResolver() = default;
    /// As lookUpIpNumber: the first IPv4 address as dotted text, or "ERROR".
    virtual QString hostNameToIpNumber(const QString &hostName) = 0;
    /// As lookUpHostName: the official name, or the empty text.
    virtual QString ipNumberToHostName(const QString &ipNumber) = 0;
};

/// The platform resolver: calls lookUpIpNumber and lookUpHostName.
std::unique_ptr<HostResolver> createSystemHostResolver();
