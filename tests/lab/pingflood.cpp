// corvane-pingflood: floods this host's loopback with ICMP traffic, so that
// tests can check an echo prober while other programs ping at full speed.
//
//   corvane-pingflood [--count N] [--seconds S] [--to ADDRESS] [--junk]
//
// Sends up to N echo requests (default 200000, at most 10000000) to ADDRESS
// (default 127.0.0.1; only 127.0.0.0/8 is accepted) for at most S seconds
// (default 2, at most 60), as fast as the system takes them. The host answers
// each with an echo reply. With --junk (raw socket, root only) every fourth
// message is instead something a prober must skip: echo replies with foreign
// identifiers or bad checksums, truncated messages, errors quoting foreign or
// damaged requests. Prints "flooding" when it starts and "sent N" at the end.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/filter.h>
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
    std::fprintf(stderr,
                 "corvane-pingflood: %s\n"
                 "usage: corvane-pingflood [--count N] [--seconds S] [--to 127.x.y.z] "
                 "[--junk]\n",
                 why);
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

Bytes junk(std::mt19937 &random, unsigned seq)
{
    const unsigned id = random() & 0xffff;
    switch (random() % 5) {
    case 0:
        return icmp(0, 0, id, seq, 22); // someone else's reply
    case 1: {
        Bytes b = icmp(0, 0, id, seq, 22);
        b[2] ^= 0x5a; // damaged on the way
        return b;
    }
    case 2: {
        Bytes b(1 + random() % 7, 0); // too short for any ICMP header
        b[0] = static_cast<unsigned char>(random() % 2 ? 0 : 3);
        return b;
    }
    case 3: {
        // An error quoting an echo request of this host, to a loopback
        // address and with a foreign identifier.
        Bytes b(8 + 20 + 8, 0);
        b[0] = 3;
        b[1] = static_cast<unsigned char>(random() % 16);
        b[8] = 0x45;
        put16(b, 10, 28);
        b[16] = 64;
        b[17] = 1;
        b[20] = 127, b[23] = 1;
        b[24] = 127, b[25] = static_cast<unsigned char>(random()), b[27] = 2;
        b[28] = 8;
        put16(b, 32, id);
        put16(b, 34, seq);
        setChecksum(b);
        return b;
    }
    default: {
        // An error whose quoted header claims more than it holds.
        Bytes b(8 + 12, 0);
        b[0] = 11;
        b[8] = static_cast<unsigned char>(0x40 | (random() % 16));
        for (size_t i = 9; i < b.size(); ++i)
            b[i] = static_cast<unsigned char>(random());
        setChecksum(b);
        return b;
    }
    }
}

} // namespace

int main(int argc, char **argv)
{
    long count = 200000;
    double seconds = 2;
    std::string to = "127.0.0.1";
    bool withJunk = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--junk") {
            withJunk = true;
        } else if (i + 1 < argc && arg == "--count") {
            count = std::strtol(argv[++i], nullptr, 10);
        } else if (i + 1 < argc && arg == "--seconds") {
            seconds = std::strtod(argv[++i], nullptr);
        } else if (i + 1 < argc && arg == "--to") {
            to = argv[++i];
        } else {
            usage("unknown argument");
        }
    }
    if (count < 1 || count > 10000000)
        usage("--count must be 1 to 10000000");
    if (!(seconds > 0 && seconds <= 60))
        usage("--seconds must be above 0 and at most 60");
    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (inet_pton(AF_INET, to.c_str(), &target.sin_addr) != 1 ||
        (ntohl(target.sin_addr.s_addr) >> 24) != 127)
        usage("--to must be an address of 127.0.0.0/8");

    int fd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
        // Read nothing: the replies would only fill this socket's queue.
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
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    std::printf("flooding\n");
    std::fflush(stdout);

    long sent = 0;
    long failed = 0;
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
        } else {
            ++failed;
        }
    }
    close(fd);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("sent %ld in %.2f s (%ld refused)\n", sent, took.count(), failed);
    return 0;
}
