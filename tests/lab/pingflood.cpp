// corvane-pingflood: floods loopback with ICMP traffic, or with --late answers
// echo requests late (usage in tests/lab/README.md).

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

[[noreturn]] void usage(const char *why)
{
    std::fprintf(stderr, "corvane-pingflood: %s (see tests/lab/README.md)\n", why);
    std::exit(2);
}

void put16(Bytes &b, size_t at, unsigned value)
{
    b[at] = static_cast<unsigned char>(value >> 8);
    b[at + 1] = static_cast<unsigned char>(value);
}

void setChecksum(Bytes &b, size_t from = 0)
{
    put16(b, from + 2, 0);
    unsigned long sum = 0;
    for (size_t i = from; i < b.size(); i += 2)
        sum += (static_cast<unsigned>(b[i]) << 8) | (i + 1 < b.size() ? b[i + 1] : 0u);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    put16(b, from + 2, static_cast<unsigned>(~sum & 0xffff));
}

Bytes icmp(unsigned type, unsigned code, unsigned id, unsigned seq, size_t payload)
{
    Bytes b(8 + payload, 'x');
    b[0] = static_cast<unsigned char>(type);
    b[1] = static_cast<unsigned char>(code);
    put16(b, 4, id);
    put16(b, 6, seq);
    setChecksum(b);
    return b;
}

// Something a prober must skip: a foreign or damaged reply, a truncated
// message, an error quoting a foreign request or claiming more than it holds.
Bytes junk(std::mt19937 &random, unsigned seq)
{
    const unsigned id = random() & 0xffff;
    Bytes b = icmp(0, 0, id, seq, 22);
    switch (random() % 5) {
    case 1:
        b[2] ^= 0x5a;
        break;
    case 2:
        b.assign(1 + random() % 7, random() % 2 ? 0 : 3);
        break;
    case 3:
        b.assign(36, 0);
        b[0] = 3, b[1] = static_cast<unsigned char>(random() % 16), b[8] = 0x45, b[11] = 28;
        b[16] = 64, b[17] = 1, b[20] = 127, b[23] = 1, b[24] = 127, b[27] = 2, b[28] = 8;
        b[25] = static_cast<unsigned char>(random());
        put16(b, 32, id);
        put16(b, 34, seq);
        setChecksum(b);
        break;
    case 4:
        b.assign(20, 0);
        b[0] = 11, b[8] = static_cast<unsigned char>(0x40 | (random() % 16));
        for (size_t i = 9; i < b.size(); ++i)
            b[i] = static_cast<unsigned char>(random());
        setChecksum(b);
        break;
    }
    return b;
}

using Clock = std::chrono::system_clock; // the clock of the kernel's time stamps

// Answers each echo request for an address of @p delays (network order) that
// arrives on @p device that long after its arrival (the kernel's time stamp).
int answerLate(const std::string &device,
               const std::map<uint32_t, std::chrono::milliseconds> &delays, long count,
               double seconds)
{
    const int tap = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    const int out = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = static_cast<int>(if_nametoindex(device.c_str()));
    const int on = 1;
    if (tap < 0 || out < 0 || link.sll_ifindex == 0 ||
        bind(tap, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0 ||
        setsockopt(tap, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        std::perror("corvane-pingflood: cannot listen on the device (root?)");
        return 1;
    }

    std::multimap<Clock::time_point, Bytes> due; // replies, by when they leave
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long answered = 0;
    std::printf("answering\n");
    std::fflush(stdout);
    while (answered < count && std::chrono::steady_clock::now() < end) {
        int wait = 50;
        if (!due.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(due.begin()->first - Clock::now());
            wait = static_cast<int>(std::clamp<long>(left.count(), 0, 50));
        }
        pollfd pfd{tap, POLLIN, 0};
        if (poll(&pfd, 1, wait) > 0) {
            unsigned char packet[2048];
            alignas(cmsghdr) char control[256];
            sockaddr_ll from{};
            iovec iov{packet, sizeof packet};
            msghdr message{&from, sizeof from, &iov, 1, control, sizeof control, 0};
            const ssize_t size = recvmsg(tap, &message, MSG_DONTWAIT);
            Clock::time_point arrival = Clock::now();
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec stamp{};
                    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                    arrival = Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                        std::chrono::seconds(stamp.tv_sec) +
                        std::chrono::nanoseconds(stamp.tv_nsec)));
                }
            }
            const auto header = size > 0 ? static_cast<ssize_t>((packet[0] & 0x0f) * 4) : 0;
            uint32_t to = 0;
            if (size >= 20)
                std::memcpy(&to, packet + 16, 4);
            const auto delay = delays.find(to);
            if (from.sll_pkttype == PACKET_HOST && size >= header + 8 && header >= 20 &&
                packet[9] == IPPROTO_ICMP && packet[header] == 8 && delay != delays.end()) {
                // The request turned into its reply: addresses swapped, type 0.
                Bytes reply(packet, packet + size);
                std::memcpy(reply.data() + 12, packet + 16, 4);
                std::memcpy(reply.data() + 16, packet + 12, 4);
                reply[8] = 64;
                reply[static_cast<size_t>(header)] = 0;
                setChecksum(reply, static_cast<size_t>(header));
                due.emplace(arrival + delay->second, std::move(reply));
            }
        }
        while (!due.empty() && due.begin()->first <= Clock::now()) {
            const Bytes &reply = due.begin()->second;
            sockaddr_in target{};
            target.sin_family = AF_INET;
            std::memcpy(&target.sin_addr, reply.data() + 16, 4);
            if (sendto(out, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&target),
                       sizeof target) >= 0)
                ++answered;
            due.erase(due.begin());
        }
    }
    close(tap);
    close(out);
    std::printf("answered %ld\n", answered);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    long count = 200000;
    double seconds = 2;
    bool withJunk = false;
    std::string device;
    std::map<uint32_t, std::chrono::milliseconds> late;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--junk") {
            withJunk = true;
        } else if (i + 1 < argc && arg == "--count") {
            count = std::strtol(argv[++i], nullptr, 10);
        } else if (i + 1 < argc && arg == "--seconds") {
            seconds = std::strtod(argv[++i], nullptr);
        } else if (i + 1 < argc && arg == "--on") {
            device = argv[++i];
        } else if (i + 1 < argc && arg == "--late") {
            const std::string value = argv[++i];
            const auto equals = value.find('=');
            in_addr address{};
            const long ms = std::strtol(value.c_str() + equals + 1, nullptr, 10);
            if (equals == std::string::npos ||
                inet_pton(AF_INET, value.substr(0, equals).c_str(), &address) != 1 || ms < 0 ||
                ms > 60000)
                usage("--late wants ADDRESS=MS, MS 0 to 60000");
            late[address.s_addr] = std::chrono::milliseconds(ms);
        } else {
            usage("unknown argument");
        }
    }
    if (count < 1 || count > 10000000 || !(seconds > 0 && seconds <= 60) ||
        late.empty() != device.empty())
        usage("--count 1 to 10000000, --seconds above 0 to 60, --late with --on");
    if (!late.empty())
        return answerLate(device, late, count, seconds);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    int fd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        sock_filter none[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
        const sock_fprog program{1, none};
        setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    } else {
        if (withJunk)
            usage("--junk needs a raw socket (root or CAP_NET_RAW)");
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    }
    if (fd < 0) {
        std::perror("corvane-pingflood: no ICMP socket");
        return 1;
    }

    std::mt19937 random(static_cast<unsigned>(getpid()));
    const unsigned ownId = random() & 0xffff;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::printf("flooding\n");
    std::fflush(stdout);

    long sent = 0;
    for (long n = 0; n < count && std::chrono::steady_clock::now() < end; ++n) {
        const auto seq = static_cast<unsigned>(n & 0xffff);
        const Bytes packet =
            withJunk && n % 4 == 3 ? junk(random, seq) : icmp(8, 0, ownId, seq, 22);
        if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&target),
                   sizeof target) >= 0) {
            ++sent;
        } else if (errno == EAGAIN || errno == ENOBUFS) {
            pollfd pfd{fd, POLLOUT, 0};
            poll(&pfd, 1, 1);
        }
    }
    close(fd);
    std::printf("sent %ld\n", sent);
    return 0;
}
