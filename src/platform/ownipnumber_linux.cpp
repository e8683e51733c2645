#include "ownipnumber.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

QString queryOwnIpNumber()
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};

    QString found;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        sockaddr_in address{};
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        const quint32 host = ntohl(address.sin_addr.s_addr);
        // A 127.x address on some other interface is still no way to reach this machine.
        if ((host >> 24) == 127)
            continue;
        found = QStringLiteral("%1.%2.%3.%4")
                    .arg(host >> 24)
                    .arg((host >> 16) & 0xFF)
                    .arg((host >> 8) & 0xFF)
                    .arg(host & 0xFF);
        break;
    }
    freeifaddrs(list);
    return found;
}
