#pragma once

#include "hostresolver.h"

/// The platform resolver behind HostNameToIPNumber and IPNumberToHostName.
class SystemHostResolver final : public HostResolver
{
public:
    QString hostNameToIPNumber(const QString &hostName) override;
    QString ipNumberToHostName(const QString &ipNumber) override;
};
