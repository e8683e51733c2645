#include "icmppacket.h"

#include <QtEndian>
#include <algorithm>

namespace {

constexpr quint8 EchoReply = 0;
constexpr quint8 DestinationUnreachable = 3;
constexpr quint8 EchoRequest = 8;
constexpr quint8 TimeExceeded = 11;
constexpr quint8 ParameterProblem = 12;
constexpr quint8 ProtocolIcmp = 1;
constexpr qsizetype IcmpHeaderSize = 8;
constexpr qsizetype MinIpHeaderSize = 20;

quint8 byteAt(QByteArrayView data, qsizetype offset)
{
    return static_cast<quint8>(data[offset]);
}

quint16 be16At(QByteArrayView data, qsizetype offset)
{
    return qFromBigEndian<quint16>(data.data() + offset);
}

quint32 be32At(QByteArrayView data, qsizetype offset)
{
    return qFromBigEndian<quint32>(data.data() + offset);
}

// Checks an IPv4 header at the start of @p data and gives its length, or 0
// when it is not one. Quoted headers may be followed by less data than their
// total length says, so the caller decides how much must follow.
qsizetype ipHeaderLength(QByteArrayView data)
{
    if (data.size() < MinIpHeaderSize)
        return 0;
    const quint8 versionAndLength = byteAt(data, 0);
    if (versionAndLength >> 4 != 4)
        return 0;
    const qsizetype length = (versionAndLength & 0x0f) * 4;
    if (length < MinIpHeaderSize || length > data.size())
        return 0;
    return length;
}

bool isFragment(QByteArrayView ipHeader)
{
    // More-fragments flag or a non-zero offset: only a whole datagram holds a whole ICMP message.
    return (be16At(ipHeader, 6) & 0x3fff) != 0;
}

std::optional<IcmpEchoEvent> quotedRequest(QByteArrayView icmp, quint32 destination)
{
    if (icmp.size() < IcmpHeaderSize || byteAt(icmp, 0) != EchoRequest || byteAt(icmp, 1) != 0)
        return std::nullopt;
    IcmpEchoEvent event;
    event.kind = IcmpEchoEvent::Kind::Error;
    event.address = destination;
    event.identifier = be16At(icmp, 4);
    event.sequence = be16At(icmp, 6);
    return event;
}

} // namespace

quint16 icmpChecksum(QByteArrayView data)
{
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += be16At(data, i);
    if (i < data.size())
        sum += static_cast<quint32>(byteAt(data, i)) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<quint16>(~sum & 0xffff);
}

QByteArray icmpEchoRequest(quint16 identifier, quint16 sequence)
{
    QByteArray packet(IcmpEchoRequestSize, Qt::Uninitialized);
    writeIcmpEchoRequest(packet.data(), identifier, sequence);
    return packet;
}

void writeIcmpEchoRequest(char *out, quint16 identifier, quint16 sequence)
{
    out[0] = static_cast<char>(EchoRequest);
    out[1] = 0;
    out[2] = out[3] = 0;
    qToBigEndian(identifier, out + 4);
    qToBigEndian(sequence, out + 6);
    std::copy(IcmpEchoPayload.begin(), IcmpEchoPayload.end(), out + IcmpHeaderSize);
    qToBigEndian(icmpChecksum(QByteArrayView(out, IcmpEchoRequestSize)), out + 2);
}

std::optional<IcmpEchoEvent> parseIcmpMessage(QByteArrayView message, quint32 source)
{
    if (message.size() < IcmpHeaderSize || icmpChecksum(message) != 0)
        return std::nullopt;

    const quint8 type = byteAt(message, 0);
    const quint8 code = byteAt(message, 1);
    if (type == EchoReply) {
        if (code != 0)
            return std::nullopt;
        IcmpEchoEvent event;
        event.kind = IcmpEchoEvent::Kind::Reply;
        event.address = source;
        event.identifier = be16At(message, 4);
        event.sequence = be16At(message, 6);
        return event;
    }
    if (type != DestinationUnreachable && type != TimeExceeded && type != ParameterProblem)
        return std::nullopt;

    const QByteArrayView quoted = message.sliced(IcmpHeaderSize);
    const qsizetype quotedHeader = ipHeaderLength(quoted);
    if (quotedHeader == 0 || byteAt(quoted, 9) != ProtocolIcmp || isFragment(quoted))
        return std::nullopt;
    auto event = quotedRequest(quoted.sliced(quotedHeader), be32At(quoted, 16));
    if (event) {
        event->errorType = type;
        event->errorCode = code;
    }
    return event;
}

std::optional<IcmpEchoEvent> parseIcmpIpPacket(QByteArrayView packet)
{
    const qsizetype header = ipHeaderLength(packet);
    if (header == 0 || byteAt(packet, 9) != ProtocolIcmp || isFragment(packet))
        return std::nullopt;
    const qsizetype total = be16At(packet, 2);
    // A packet longer than what arrived was truncated; its checksum cannot be checked.
    if (total < header || total > packet.size())
        return std::nullopt;
    return parseIcmpMessage(packet.sliced(header, total - header), be32At(packet, 12));
}

std::optional<IcmpEchoEvent> parseQuotedEchoRequest(QByteArrayView quoted, quint32 destination)
{
    return quotedRequest(quoted, destination);
}
