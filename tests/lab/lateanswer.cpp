// corvane-lateanswer --on DEVICE [--count N] --late ADDRESS=MS...: in the lab's peer
// namespace, answers each echo request for one of those addresses that arrives on
// DEVICE MS ms after its arrival (the kernel's time stamp), N answers or 60 s at most.

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <vector>

using Clock = std::chrono::system_clock; // the clock of the kernel's time stamps

int main(int argc, char **argv)
{
    long count = 500000;
    const char *device = nullptr;
    std::map<uint32_t, std::chrono::milliseconds> delays; // by address, network order
    bool bad = argc % 2 == 0;
    for (int i = 1; i + 1 < argc && !bad; i += 2) {
        const std::string arg = argv[i];
        const char *value = argv[i + 1], *ms = std::strchr(value, '=');
        in_addr address{};
        if (arg == "--count")
            count = std::strtol(value, nullptr, 10);
        else if (arg == "--on")
            device = value;
        else if (ms && arg == "--late" && std::atol(ms + 1) >= 0 && std::atol(ms + 1) <= 60000 &&
                 inet_pton(AF_INET, std::string(value, ms).c_str(), &address) == 1)
            delays[address.s_addr] = std::chrono::milliseconds(std::atol(ms + 1));
        else
            bad = true;
    }
    if (bad || count < 1 || delays.empty() || !device) {
        std::fprintf(stderr, "corvane-lateanswer: bad arguments\n");
        return 2;
    }
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
        std::perror("corvane-lateanswer: cannot listen on the device (root?)");
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::multimap<Clock::time_point, std::vector<unsigned char>> due; // replies, by when they leave
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
            const size_t h = size >= 20 ? (p[0] & 0x0fu) * 4 : 0;
            uint32_t to = 0;
            if (h >= 20)
                std::memcpy(&to, p + 16, 4);
            const auto delay = delays.find(to);
            if (from.sll_pkttype == PACKET_HOST && h >= 20 && size_t(size) >= h + 8 &&
                p[9] == IPPROTO_ICMP && p[h] == 8 && delay != delays.end()) {
                std::vector<unsigned char> reply(p, p + size); // addresses swapped, type 0
                std::memcpy(reply.data() + 12, p + 16, 4);
                std::memcpy(reply.data() + 16, p + 12, 4);
                reply[8] = 64, reply[h] = reply[h + 2] = reply[h + 3] = 0;
                unsigned long sum = 0;
                for (size_t i = h; i < reply.size(); i += 2)
                    sum += (unsigned(reply[i]) << 8) | (i + 1 < reply.size() ? reply[i + 1] : 0u);
                while (sum >> 16)
                    sum = (sum & 0xffff) + (sum >> 16);
                reply[h + 2] = static_cast<unsigned char>(~sum >> 8);
                reply[h + 3] = static_cast<unsigned char>(~sum);
                due.emplace(arrival + delay->second, std::move(reply));
            }
        }
        for (; !due.empty() && due.begin()->first <= Clock::now(); due.erase(due.begin())) {
            const auto &reply = due.begin()->second;
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
