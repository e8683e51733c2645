#pragma once

#include "icmppacket.h"

#include <QByteArray>
#include <QString>
#include <optional>

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
        TryLater, ///< the system had no room (EAGAIN, ENOBUFS): send again a little later
        Failed    ///< the request cannot be sent to that address (see lastError())
    };

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

    SendStatus send(quint32 address, int ttl, quint16 sequence);
    /// The errno of the last send that did not report Sent.
    int lastError() const { return m_lastError; }

    /// Reads one message from the receive queue. Returns false when the queue
    /// is empty. @p event is set when the message is about one of our requests.
    bool read(std::optional<IcmpEchoEvent> &event);
    /// The same for the error queue (ICMP errors and local send errors).
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
};
