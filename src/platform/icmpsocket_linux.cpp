#include "icmpsocket_linux.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int ReceiveBufferSize = 4 * 1024 * 1024;
// Room for one received message: far more than any reply or error about our
// small requests; longer messages are not ours.
constexpr qsizetype MessageSlot = 2048;

// A stale asynchronous error (an ICMP error about an earlier request) is
// reported by the next send; sending again tells it from a real refusal.
constexpr int SendAttempts = 3;

quint16 nextRawIdentifier()
{
    static std::atomic<quint16> counter{0};
    // Distinct for every socket of this process, and unlikely to match another process's.
    const auto pidPart = static_cast<quint32>(::getpid()) * 2654435761u;
    return static_cast<quint16>((pidPart >> 16) + counter.fetch_add(1) * 7919u);
}

sockaddr_in socketAddress(quint32 address)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

bool isTryLaterError(int error)
{
    // EINVAL: no neighbour entry could be made for an on-link address because
    // the table is full of addresses still being resolved.
    return error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS || error == EINTR ||
           error == EINVAL;
}

// The kernel's time of arrival of a received message, 0 when it sent none.
qint64 arrivalTime(msghdr &msg)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec when{};
            std::memcpy(&when, CMSG_DATA(c), sizeof when);
            return qint64(when.tv_sec) * 1000000000 + when.tv_nsec;
        }
    }
    return 0;
}

QString programPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(u"/proc/self/exe"_s).canonicalFilePath();
}

} // namespace

IcmpSocket::IcmpSocket()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int datagramError = m_fd < 0 ? errno : 0;
    if (m_fd >= 0) {
        m_kind = Kind::Datagram;
    } else {
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (m_fd >= 0)
            m_kind = Kind::Raw;
    }
    if (m_fd < 0) {
        m_unavailableReason = unavailableText(datagramError, errno);
        return;
    }
    if (!configure()) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        m_kind = Kind::None;
        m_unavailableReason = unavailableText(datagramError, error);
        return;
    }
    m_buffer.resize(MessageSlot * kBatch);
    m_packets.resize(IcmpEchoRequestSize * kBatch);
}

IcmpSocket::~IcmpSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool IcmpSocket::configure()
{
    const int on = 1;
    if (::setsockopt(m_fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0)
        return false;
    // Replies are judged by when they arrived, not by when they are read;
    // without the kernel's time stamps, the time of reading stands in.
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);

    // Many replies can arrive between two reads when thousands of probes are
    // in flight; the default buffer holds only a few hundred. Best effort.
    const int size = ReceiveBufferSize;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

    if (m_kind == Kind::Datagram) {
        // Binding makes the kernel choose the identifier now, so it is known before the first send.
        const sockaddr_in any = socketAddress(INADDR_ANY);
        if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0)
            return false;
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&bound), &length) != 0)
            return false;
        m_identifier = ntohs(bound.sin_port);
        return true;
    }

    m_identifier = nextRawIdentifier();
    // A raw ICMP socket sees every ICMP message reaching the host. Let through
    // only echo replies carrying our identifier and the errors that may quote
    // one of our requests, so that other programs' traffic never fills our queue.
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_ECHOREPLY, 0, 2),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, m_identifier, 3, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_DEST_UNREACH, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_TIME_EXCEEDED, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP_PARAMETERPROB, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xffffffffu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    // Without the filter the identifier check below still sorts the messages.
    ::setsockopt(m_fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    return true;
}

IcmpSocket::SendStatus IcmpSocket::send(std::span<const Request> requests, int ttl, int &sent)
{
    sent = 0;
    if (m_fd < 0) {
        m_lastError = EBADF;
        return SendStatus::Failed;
    }
    // A request with time-to-live 0 cannot leave this host (and Linux does not
    // let one be set); out-of-range values would narrow to 0.
    if (ttl < 1 || ttl > 255) {
        m_lastError = EINVAL;
        return SendStatus::Failed;
    }
    if (ttl != m_ttl) {
        if (::setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0) {
            m_lastError = errno;
            return SendStatus::Failed;
        }
        m_ttl = ttl;
    }

    // On a datagram socket the kernel puts in its identifier and the checksum.
    const int count = std::min<int>(static_cast<int>(requests.size()), kBatch);
    sockaddr_in to[kBatch];
    iovec iov[kBatch];
    mmsghdr messages[kBatch];
    for (int i = 0; i < count; ++i) {
        char *packet = m_packets.data() + i * IcmpEchoRequestSize;
        const Request &request = requests[static_cast<size_t>(i)];
        writeIcmpEchoRequest(packet, m_identifier, request.sequence);
        to[i] = socketAddress(request.address);
        iov[i] = {packet, static_cast<size_t>(IcmpEchoRequestSize)};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &to[i];
        messages[i].msg_hdr.msg_namelen = sizeof to[i];
        messages[i].msg_hdr.msg_iov = &iov[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int attempts = 0;
    while (sent < count) {
        const int n = ::sendmmsg(m_fd, messages + sent, static_cast<unsigned>(count - sent), 0);
        if (n > 0) {
            sent += n;
            attempts = 0;
            continue;
        }
        m_lastError = errno;
        if (isTryLaterError(m_lastError))
            return SendStatus::TryLater;
        if (++attempts < SendAttempts)
            continue;
        // Errors about earlier requests (ICMP errors, addresses that could not
        // be resolved) keep being reported by sends while they wait in the
        // error queue: once it is read, this request may go.
        pollfd pending{m_fd, 0, 0};
        const bool errorsWaiting = ::poll(&pending, 1, 0) == 1 && (pending.revents & POLLERR);
        return errorsWaiting ? SendStatus::TryLater : SendStatus::Failed;
    }
    return SendStatus::Sent;
}

int IcmpSocket::read(std::vector<IcmpEchoEvent> &events)
{
    if (m_fd < 0)
        return 0;
    sockaddr_in from[kBatch];
    iovec iov[kBatch];
    alignas(cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(timespec)) + 64];
    mmsghdr messages[kBatch];
    for (int i = 0; i < kBatch; ++i) {
        iov[i] = {m_buffer.data() + i * MessageSlot, static_cast<size_t>(MessageSlot)};
        messages[i] = {};
        messages[i].msg_hdr.msg_name = &from[i];
        messages[i].msg_hdr.msg_namelen = sizeof from[i];
        messages[i].msg_hdr.msg_iov = &iov[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_control = control[i];
        messages[i].msg_hdr.msg_controllen = sizeof control[i];
    }
    const int n = ::recvmmsg(m_fd, messages, kBatch, MSG_DONTWAIT, nullptr);
    if (n < 0) {
        // A pending asynchronous error is reported (and cleared) by a read;
        // its details wait in the error queue.
        const bool error =
            errno != EAGAIN && errno != EWOULDBLOCK && errno != EBADF && errno != ENOTSOCK;
        return error ? 1 : 0;
    }
    for (int i = 0; i < n; ++i) {
        msghdr &msg = messages[i].msg_hdr;
        if (msg.msg_flags & MSG_TRUNC)
            continue;
        const QByteArrayView data(m_buffer.constData() + i * MessageSlot, messages[i].msg_len);
        std::optional<IcmpEchoEvent> event =
            m_kind == Kind::Raw ? parseIcmpIpPacket(data)
                                : parseIcmpMessage(data, ntohl(from[i].sin_addr.s_addr));
        if (!ownsEvent(event))
            continue;
        event->receivedNs = arrivalTime(msg);
        events.push_back(*event);
    }
    return n;
}

bool IcmpSocket::readError(std::optional<IcmpEchoEvent> &event)
{
    event.reset();
    if (m_fd < 0)
        return false;
    sockaddr_in original{};
    alignas(cmsghdr) char control[512];
    iovec iov{m_buffer.data(), static_cast<size_t>(m_buffer.size())};
    msghdr msg{};
    msg.msg_name = &original;
    msg.msg_namelen = sizeof original;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(m_fd, &msg, MSG_ERRQUEUE);
    if (length < 0)
        return errno == EINTR;

    const sock_extended_err *error = nullptr;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
            error = reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c));
    }
    // Local errors (such as a refused send) quote nothing to match; the send
    // that caused them has already reported its own failure.
    if (!error || error->ee_origin != SO_EE_ORIGIN_ICMP || (msg.msg_flags & MSG_TRUNC))
        return true;
    event = parseQuotedEchoRequest(QByteArrayView(m_buffer.constData(), length),
                                   ntohl(original.sin_addr.s_addr));
    if (!ownsEvent(event)) {
        event.reset();
        return true;
    }
    event->errorType = error->ee_type;
    event->errorCode = error->ee_code;
    event->receivedNs = arrivalTime(msg);
    return true;
}

bool IcmpSocket::ownsEvent(const std::optional<IcmpEchoEvent> &event) const
{
    return event && event->identifier == m_identifier;
}

QString IcmpSocket::unavailableText(int datagramError, int rawError)
{
    return QCoreApplication::translate(
               "IcmpSocket",
               "Echo requests (ping) cannot be sent from this computer: the system lets this "
               "program open neither an ICMP datagram socket (%1) nor a raw ICMP socket (%2).\n\n"
               "To allow them for all users, run\n"
               "    sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
               "(and put the setting into /etc/sysctl.d/ to keep it), or allow this program "
               "raw sockets with\n"
               "    sudo setcap cap_net_raw+ep %3")
        .arg(QString::fromLocal8Bit(std::strerror(datagramError)),
             QString::fromLocal8Bit(std::strerror(rawError)), programPath());
}
