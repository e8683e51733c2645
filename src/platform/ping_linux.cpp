#include "icmpsocket_linux.h"
#include "ipv4address.h"
#include "ping.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long a send may wait for room in the system's queues before the
// request counts as not sent.
constexpr auto SendStallLimit = std::chrono::seconds(10);
constexpr auto LongestPause = std::chrono::milliseconds(50);
constexpr int ReadBudget = 4096;

quint16 nextSequence()
{
    static std::atomic<quint16> sequence{0};
    return sequence.fetch_add(1);
}

// Waits until @p fd reports @p events or @p until passes. False on time-out.
bool waitFor(int fd, short events, Clock::time_point until)
{
    for (;;) {
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1000000000),
                            static_cast<long>(ns % 1000000000)};
        pollfd pfd{fd, events, 0};
        const int ready = ::ppoll(&pfd, 1, &wait, nullptr);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool sendOnce(IcmpSocket &socket, quint32 address, int ttl, quint16 sequence)
{
    const auto giveUp = Clock::now() + SendStallLimit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        switch (socket.send(address, ttl, sequence)) {
        case IcmpSocket::SendStatus::Sent:
            return true;
        case IcmpSocket::SendStatus::Failed:
            return false;
        case IcmpSocket::SendStatus::TryLater:
            break;
        }
        if (Clock::now() >= giveUp)
            return false;
        const int error = socket.lastError();
        const auto until = std::min(Clock::now() + pause, giveUp);
        // A full send buffer says when it has room again; a full device queue does not.
        waitFor(error == EAGAIN || error == EWOULDBLOCK ? socket.descriptor() : -1, POLLOUT, until);
        pause = std::min(pause * 2, LongestPause);
    }
}

} // namespace

bool Ping(const QString &address, int ttl, int timeout)
{
    const std::optional<quint32> target = parseIPv4Address(address);
    if (!target)
        return false;

    IcmpSocket socket;
    if (!socket.isOpen())
        return false;
    const quint16 sequence = nextSequence();
    if (!sendOnce(socket, *target, ttl, sequence))
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));

    // Reads what has arrived: the reply or an error about our request decides.
    const auto answer = [&]() -> std::optional<bool> {
        std::optional<IcmpEchoEvent> event;
        for (int budget = ReadBudget; budget > 0; --budget) {
            if (!socket.read(event) && !socket.readError(event))
                break;
            if (event && event->sequence == sequence && event->address == *target)
                return event->kind == IcmpEchoEvent::Kind::Reply;
        }
        return std::nullopt;
    };
    do {
        if (const auto result = answer())
            return *result;
    } while (waitFor(socket.descriptor(), POLLIN, deadline));
    return answer().value_or(false);
}

QString echoUnavailableReason()
{
    const IcmpSocket socket;
    return socket.unavailableReason();
}
