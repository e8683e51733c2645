// corvane-pingflood: floods loopback with ICMP traffic, or with --late answers
// echo requests late (usage in tests/lab/README.md).

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::system_clock; // the clock of the kernel's time stamps

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

Bytes icmp(unsigned type, unsigned id, unsigned seq)
{
    Bytes b(30, 'x');
    b[0] = static_cast<unsigned char>(type), b[1] = 0;
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
    const auto kind = random() % 5;
    Bytes b = icmp(0, id, seq);
    if (kind == 1) {
        b[2] ^= 0x5a;
    } else if (kind == 2) {
        b.assign(1 + random() % 7, random() % 2 ? 0 : 3);
    } else if (kind == 3) {
        b.assign(36, 0);
        b[0] = 3, b[1] = static_cast<unsigned char>(random() % 16), b[8] = 0x45, b[11] = 28;
        b[16] = 64, b[17] = 1, b[20] = 127, b[23] = 1, b[24] = 127, b[27] = 2, b[28] = 8;
        b[25] = static_cast<unsigned char>(random());
        put16(b, 32, id);
        put16(b, 34, seq);
        setChecksum(b);
    } else if (kind == 4) {
        b.assign(20, 0);
        b[0] = 11, b[8] = static_cast<unsigned char>(0x40 | (random() % 16));
        for (size_t i = 9; i < b.size(); ++i)
            b[i] = static_cast<unsigned char>(random());
        setChecksum(b);
    }
    return b;
}

// Answers each echo request for an address of @p delays (network order) that
// arrives on @p device that long after its arrival (the kernel's time stamp).
int answerLate(const char *device, const std::map<uint32_t, std::chrono::milliseconds> &delays,
               long count, std::chrono::steady_clock::time_point end)
{
    const int tap = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    const int out = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = static_cast<int>(if_nametoindex(device));
    const int on = 1;
    if (tap < 0 || out < 0 || link.sll_ifindex == 0 ||
        bind(tap, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0 ||
        setsockopt(tap, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        std::perror("corvane-pingflood: cannot listen on the device (root?)");
        return 1;
    }
    std::multimap<Clock::time_point, Bytes> due; // replies, by when they leave
    long answered = 0;
    std::printf("answering\n");
    std::fflush(stdout);
    while (answered < count && std::chrono::steady_clock::now() < end) {
        const auto left =
            due.empty()
                ? std::chrono::milliseconds(50)
                : std::chrono::ceil<std::chrono::milliseconds>(due.begin()->first - Clock::now());
        pollfd pfd{tap, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(std::clamp<long>(left.count(), 0, 50))) > 0) {
            unsigned char p[2048];
            alignas(cmsghdr) char control[256];
            sockaddr_ll from{};
            iovec iov{p, sizeof p};
            msghdr message{&from, sizeof from, &iov, 1, control, sizeof control, 0};
            const ssize_t size = recvmsg(tap, &message, MSG_DONTWAIT);
            Clock::time_point arrival = Clock::now();
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                timespec stamp{};
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                    arrival = Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                        std::chrono::seconds(stamp.tv_sec) +
                        std::chrono::nanoseconds(stamp.tv_nsec)));
                }
            }
            const ssize_t h = size >= 20 ? (p[0] & 0x0f) * 4 : 0;
            uint32_t to = 0;
            if (h >= 20)
                std::memcpy(&to, p + 16, 4);
            const auto delay = delays.find(to);
            if (from.sll_pkttype == PACKET_HOST && h >= 20 && size >= h + 8 &&
                p[9] == IPPROTO_ICMP && p[h] == 8 && delay != delays.end()) {
                Bytes reply(p, p + size); // addresses swapped, type 0
                std::memcpy(reply.data() + 12, p + 16, 4);
                std::memcpy(reply.data() + 16, p + 12, 4);
                reply[8] = 64, reply[static_cast<size_t>(h)] = 0;
                setChecksum(reply, static_cast<size_t>(h));
                due.emplace(arrival + delay->second, std::move(reply));
            }
        }
        for (; !due.empty() && due.begin()->first <= Clock::now(); due.erase(due.begin())) {
            const Bytes &reply = due.begin()->second;
            sockaddr_in target{};
            target.sin_family = AF_INET;
            std::memcpy(&target.sin_addr, reply.data() + 16, 4);
            answered += sendto(out, reply.data(), reply.size(), 0,
                               reinterpret_cast<sockaddr *>(&target), sizeof target) >= 0;
        }
    }
    std::printf("answered %ld\n", answered);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    long count = 500000;
    double seconds = 3;
    bool withJunk = false, bad = false;
    const char *device = nullptr;
    std::map<uint32_t, std::chrono::milliseconds> late;
    for (int i = 1; i < argc && !bad; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        i += value && arg != "--junk";
        in_addr address{};
        const char *ms = value ? std::strchr(value, '=') : nullptr;
        if (arg == "--junk")
            withJunk = true;
        else if (value && arg == "--count")
            count = std::strtol(value, nullptr, 10);
        else if (value && arg == "--seconds")
            seconds = std::strtod(value, nullptr);
        else if (value && arg == "--on")
            device = value;
        else if (ms && arg == "--late" && std::atol(ms + 1) >= 0 && std::atol(ms + 1) <= 60000 &&
                 inet_pton(AF_INET, std::string(value, ms).c_str(), &address) == 1)
            late[address.s_addr] = std::chrono::milliseconds(std::atol(ms + 1));
        else
            bad = true;
    }
    if (bad || count < 1 || count > 10000000 || !(seconds > 0 && seconds <= 60) ||
        late.empty() != !device) {
        std::fprintf(stderr, "corvane-pingflood: bad arguments (see tests/lab/README.md)\n");
        return 2;
    }
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
    if (device)
        return answerLate(device, late, count, end);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int fd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    sock_filter none[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
    const sock_fprog program{1, none};
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    else if (!withJunk) // junk needs a raw socket (root or CAP_NET_RAW)
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        std::perror("corvane-pingflood: no ICMP socket");
        return 1;
    }
    std::mt19937 random(static_cast<unsigned>(getpid()));
    const unsigned ownId = random() & 0xffff;
    std::printf("flooding\n");
    std::fflush(stdout);
    long sent = 0;
    for (long n = 0; n < count && std::chrono::steady_clock::now() < end; ++n) {
        const auto seq = static_cast<unsigned>(n & 0xffff);
        const Bytes packet = withJunk && n % 4 == 3 ? junk(random, seq) : icmp(8, ownId, seq);
        pollfd pfd{fd, POLLOUT, 0};
        if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&target),
                   sizeof target) >= 0)
            ++sent;
        else if (errno == EAGAIN || errno == ENOBUFS)
            poll(&pfd, 1, 1);
    }
    std::printf("sent %ld\n", sent);
    return 0;
}
