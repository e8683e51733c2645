#pragma once

#include "hostresolver.h"

/// The platform resolver behind lookUpIpNumber and lookUpHostName.
class SystemHostResolver final : public HostResolver
{
public:
    QString hostNameToIpNumber(const QString &hostName) override;
    QString ipNumberToHostName(const QString &ipNumber) override;
};
