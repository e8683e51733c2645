// Helpers of the lab tests that probe through real ICMP sockets (tests/lab).
#pragma once

#include "echoprober.h"
#include "icmppacket.h"
#include "ipv4address.h"

#include <QDebug>
#include <QHash>
#include <QProcess>
#include <QtEndian>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

inline const QString kLabInterface = u"veth-peer"_s;
inline const QString kPeerInterface = u"veth-scan"_s;

inline QList<quint32> addressList(const char *variable)
{
    QList<quint32> out;
    for (const QString &word : qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts))
        out.append(parseIPv4Address(word.section(u'/', 0, 0)).value_or(0));
    return out;
}

inline QString text(quint32 a)
{
    return u"%1.%2.%3.%4"_s.arg(a >> 24).arg((a >> 16) & 0xff).arg((a >> 8) & 0xff).arg(a & 0xff);
}

inline bool runTool(const QString &program, const QStringList &arguments,
                    const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (process.waitForFinished(60000) && process.exitCode() == 0)
        return true;
    qWarning() << program << arguments << process.readAllStandardError();
    return false;
}

// tests/lab's flood helper (in the peer namespace when @p peer), once it prints @p ready.
inline bool startHelper(QProcess &helper, const QStringList &arguments, bool peer,
                        const QByteArray &ready)
{
    const QString tool = qEnvironmentVariable("CORVANE_PINGFLOOD");
    const QStringList inPeer{u"netns"_s, u"exec"_s, qEnvironmentVariable("CORVANE_LAB_PEER_NS"),
                             tool};
    helper.start(peer ? u"ip"_s : tool, peer ? inPeer + arguments : arguments);
    return helper.waitForStarted() && helper.waitForReadyRead(10000) &&
           helper.readLine().trimmed() == ready;
}

struct Results
{
    QHash<EchoProber::ProbeId, bool> answers;
    int repeats = 0;
    explicit Results(EchoProber &p)
    {
        QObject::connect(&p, &EchoProber::finished, &p, [this](EchoProber::ProbeId id, bool ok) {
            repeats += answers.contains(id) ? 1 : 0;
            answers.insert(id, ok);
        });
    }
};

// Adds the echo requests that left through @p tap: destination -> identifier, sequence.
inline void readRequests(int tap, QHash<quint32, std::pair<quint16, quint16>> &seen)
{
    unsigned char p[2048];
    sockaddr_ll from{};
    socklen_t n = sizeof from;
    for (ssize_t size;
         (size = ::recvfrom(tap, p, sizeof p, 0, reinterpret_cast<sockaddr *>(&from), &n)) > 0;
         n = sizeof from) {
        const int h = (p[0] & 0x0f) * 4;
        if (size >= h + 8 && from.sll_pkttype == PACKET_OUTGOING &&
            from.sll_protocol == htons(ETH_P_IP) && p[9] == 1 && p[h] == 8)
            seen.insert(qFromBigEndian<quint32>(p + 16),
                        {qFromBigEndian<quint16>(p + h + 4), qFromBigEndian<quint16>(p + h + 6)});
    }
}

inline QByteArray ipPacket(quint32 from, quint32 to, const QByteArray &payload)
{
    QByteArray p(20, '\0');
    p[0] = 0x45, p[8] = 64, p[9] = 1;
    qToBigEndian(quint16(20 + payload.size()), p.data() + 2);
    qToBigEndian(from, p.data() + 12);
    qToBigEndian(to, p.data() + 16);
    return p + payload;
}

// With a valid checksum: an echo reply (0), or a host unreachable (3/1).
inline QByteArray icmp(quint8 type, QByteArray m)
{
    m[0] = char(type), m[1] = type == 3, m[2] = m[3] = 0;
    qToBigEndian(icmpChecksum(m), m.data() + 2);
    return m;
}

inline bool inject(quint32 from, quint32 to, const QByteArray &icmp)
{
    const QByteArray packet = ipPacket(from, to, icmp);
    sockaddr_in sa{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(to)}, .sin_zero = {}};
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    const bool sent =
        fd >= 0 && ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                            reinterpret_cast<sockaddr *>(&sa), sizeof sa) == packet.size();
    fd >= 0 && ::close(fd);
    return sent;
}
