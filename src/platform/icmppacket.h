#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

/// The data every echo request carries.
inline constexpr QByteArrayView IcmpEchoPayload = "this is a test message";

/// What one received ICMP message says about an echo request.
struct IcmpEchoEvent
{
    enum class Kind {
        Reply, ///< an echo reply
        Error  ///< destination unreachable, time exceeded or parameter problem
    };

    Kind kind = Kind::Reply;
    quint32 address = 0; ///< host order: the reply's source, or the failed request's destination
    quint16 identifier = 0;
    quint16 sequence = 0;
    quint8 errorType = 0; ///< ICMP type of an error (3, 11 or 12)
    quint8 errorCode = 0;
    qint64 receivedNs = 0; ///< when the kernel received it (ns since the epoch), 0 when unknown

    friend bool operator==(const IcmpEchoEvent &, const IcmpEchoEvent &) = default;
};

/// The Internet checksum (RFC 1071) of @p data; an odd last byte is padded with zero.
quint16 icmpChecksum(QByteArrayView data);

/// The size of an echo request: header and payload.
inline constexpr qsizetype IcmpEchoRequestSize = 8 + IcmpEchoPayload.size();

/// An echo request (type 8) with @p identifier, @p sequence, the standard
/// payload and a valid checksum, ready for a raw or datagram ICMP socket.
QByteArray icmpEchoRequest(quint16 identifier, quint16 sequence);
/// The same written to @p out, which holds IcmpEchoRequestSize bytes.
void writeIcmpEchoRequest(char *out, quint16 identifier, quint16 sequence);

/// Reads an ICMP message without IP header (what a datagram ICMP socket
/// delivers), received from @p source. Returns nothing for anything that is
/// neither an echo reply nor an error quoting one of our echo requests, for a
/// bad checksum and for truncated data.
std::optional<IcmpEchoEvent> parseIcmpMessage(QByteArrayView message, quint32 source);

/// Reads a whole IPv4 packet carrying ICMP (what a raw socket delivers).
std::optional<IcmpEchoEvent> parseIcmpIpPacket(QByteArrayView packet);

/// Reads the start of an echo request quoted by an ICMP error, as the socket
/// error queue hands it over, sent to @p destination.
std::optional<IcmpEchoEvent> parseQuotedEchoRequest(QByteArrayView quoted, quint32 destination);
