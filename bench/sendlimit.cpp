// How fast this kernel takes echo requests from one socket: a tight sendmmsg
// loop, the upper bound for any prober on one socket.
//
//   corvane-bench-sendlimit <first address> <addresses> <seconds>
//
// Sends to the addresses from <first address> on, round after round, at most
// 16 rounds and <seconds> seconds. Only 127.0.0.0/8 and, inside the network
// lab (CORVANE_LAB set), its hosts net 198.18.0.0/15 may be targets. Prints
// the requests the kernel took per second and how often it refused a batch.
#include "icmppacket.h"
#include "ipv4address.h"

#include <QString>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: corvane-bench-sendlimit <first address> <addresses> <seconds>\n");
        return 2;
    }
    const auto first = parseIPv4Address(QString::fromLocal8Bit(argv[1]));
    const long count = std::strtol(argv[2], nullptr, 10);
    const double seconds = std::strtod(argv[3], nullptr);
    const auto allowed = [](quint32 a) {
        return (a >> 24) == 127 || (std::getenv("CORVANE_LAB") && (a >> 17) == (0xc612u >> 1));
    };
    if (!first || count < 1 || count > 65536 || !allowed(*first) ||
        !allowed(*first + quint32(count - 1)) || seconds <= 0 || seconds > 30) {
        std::fprintf(stderr, "corvane-bench-sendlimit: only loopback or lab addresses, "
                             "1 to 65536 of them, for up to 30 s\n");
        return 2;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (fd < 0)
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (fd < 0) {
        std::perror("socket");
        return 1;
    }

    constexpr int kBatch = 64;
    const QByteArray packet = icmpEchoRequest(quint16(::getpid()), 1);
    std::vector<sockaddr_in> to(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) {
        to[size_t(i)].sin_family = AF_INET;
        to[size_t(i)].sin_addr.s_addr = htonl(*first + quint32(i));
    }
    iovec iov{const_cast<char *>(packet.constData()), size_t(packet.size())};
    mmsghdr messages[kBatch]{};
    long sent = 0;
    long refused = 0;
    const long limit = 16 * count;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration<double>(seconds);
    while (sent < limit && std::chrono::steady_clock::now() < deadline) {
        const int n = int(std::min<long>(kBatch, limit - sent));
        for (int i = 0; i < n; ++i) {
            msghdr &m = messages[i].msg_hdr;
            m.msg_name = &to[size_t((sent + i) % count)];
            m.msg_namelen = sizeof(sockaddr_in);
            m.msg_iov = &iov;
            m.msg_iovlen = 1;
        }
        const int done = ::sendmmsg(fd, messages, unsigned(n), 0);
        if (done > 0) {
            sent += done;
            continue;
        }
        ++refused;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 1);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%ld requests in %.3f s: %.0f per second (%ld batches refused)\n", sent,
                took.count(), double(sent) / took.count(), refused);
    ::close(fd);
    return 0;
}
