#pragma once

#include "icmppacket.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <span>
#include <vector>

/// One non-blocking ICMP echo socket: an unprivileged datagram ("ping") socket
/// where net.ipv4.ping_group_range allows it, else a raw socket (root or
/// CAP_NET_RAW). Closed when destroyed.
///
/// Only messages about this socket's own echo requests come out of read() and
/// readError(): on a datagram socket the kernel owns the identifier and sorts
/// replies by it; on a raw socket a socket filter and the identifier check do.
class IcmpSocket
{
public:
    enum class Kind { None, Datagram, Raw };
    enum class SendStatus {
        Sent,
        /// The system had no room (EAGAIN, ENOBUFS; EINVAL when the neighbour
        /// table is full), or errors about earlier requests wait to be read:
        /// send again a little later.
        TryLater,
        Failed ///< the request cannot be sent to that address (see lastError())
    };
    struct Request
    {
        quint32 address = 0; ///< host order
        quint16 sequence = 0;
    };
    /// Requests one send() or read() hands to the system at most.
    static constexpr int kBatch = 64;

    IcmpSocket();
    ~IcmpSocket();
    Q_DISABLE_COPY_MOVE(IcmpSocket)

    bool isOpen() const { return m_fd >= 0; }
    Kind kind() const { return m_kind; }
    int descriptor() const { return m_fd; }
    /// The echo identifier of every request this socket sends.
    quint16 identifier() const { return m_identifier; }
    /// Why no socket could be opened, and how to allow one; empty when open.
    QString unavailableReason() const { return m_unavailableReason; }

    /// Sends up to kBatch @p requests in order, in one system call when it
    /// takes them all. Sets @p sent to how many left; unless all did, the
    /// status says why the next one did not.
    SendStatus send(std::span<const Request> requests, int ttl, int &sent);
    /// The errno of the last send that did not report Sent.
    int lastError() const { return m_lastError; }

    /// Reads up to kBatch messages from the receive queue and appends those
    /// about our requests to @p events, each with the kernel's time of
    /// arrival. Returns how many messages were taken, 0 when the queue is empty.
    int read(std::vector<IcmpEchoEvent> &events);
    /// Reads one message of the error queue (ICMP errors and local send
    /// errors). Returns false when the queue is empty.
    bool readError(std::optional<IcmpEchoEvent> &event);

    /// The text shown when neither kind of socket may be opened.
    static QString unavailableText(int datagramError, int rawError);

private:
    bool configure();
    bool ownsEvent(const std::optional<IcmpEchoEvent> &event) const;

    int m_fd = -1;
    Kind m_kind = Kind::None;
    quint16 m_identifier = 0;
    int m_ttl = -1;
    int m_lastError = 0;
    QString m_unavailableReason;
    QByteArray m_buffer;
    QByteArray m_packets;
};
