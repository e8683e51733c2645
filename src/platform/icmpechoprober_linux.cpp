#include "icmpechoprober_linux.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

// Requests sent per turn of the event loop; replies are read after every few
// batches so that thousands in flight never overflow the receive queue.
constexpr int SendBurst = 16 * IcmpSocket::kBatch;
constexpr int BatchesBetweenReads = 4;
// Messages read per drain at most, so that a flood cannot hold the event loop.
constexpr int ReadBudget = 65536;
constexpr int FirstPauseMs = 1;
constexpr int LongestPauseMs = 50;
// A request the system has refused for this long ends unanswered: something
// other than a full queue or neighbour table is wrong with it.
constexpr auto RefusalLimit = std::chrono::seconds(10);
constexpr qint64 LongestTimerMs = 3600 * 1000;

qint64 systemTimeNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

IcmpEchoProber::IcmpEchoProber(QObject *parent)
    : EchoProber(parent)
{
    m_sendTimer.setSingleShot(true);
    m_deadlineTimer.setSingleShot(true);
    m_deadlineTimer.setTimerType(Qt::PreciseTimer);
    m_emitTimer.setSingleShot(true);
    m_emitTimer.setInterval(0);
    connect(&m_sendTimer, &QTimer::timeout, this, &IcmpEchoProber::sendQueued);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &IcmpEchoProber::expireDeadlines);
    connect(&m_emitTimer, &QTimer::timeout, this, &IcmpEchoProber::emitFinished);
    m_nextSequence = static_cast<quint16>(QRandomGenerator::global()->bounded(65536u));
    m_bySequence.assign(65536, 0);
    openSocket();
}

IcmpEchoProber::~IcmpEchoProber()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
}

void IcmpEchoProber::openSocket()
{
    m_socket = std::make_unique<IcmpSocket>();
    if (!m_socket->isOpen())
        return;
    m_readNotifier =
        std::make_unique<QSocketNotifier>(m_socket->descriptor(), QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, [this] {
        readSocket();
        emitFinished();
    });
    m_writeNotifier =
        std::make_unique<QSocketNotifier>(m_socket->descriptor(), QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, [this] {
        m_writeNotifier->setEnabled(false);
        m_sendTimer.stop();
        sendQueued();
    });
}

EchoProber::ProbeId IcmpEchoProber::probe(quint32 address, int ttl, int timeoutMs)
{
    if (!ensureAvailable())
        return finishLater(false);

    const ProbeId id = ++m_lastId;
    Probe probe;
    probe.address = address;
    probe.ttl = ttl;
    probe.timeoutMs = std::max(timeoutMs, 0);
    m_probes.insert(id, probe);
    m_sendQueue.push_back(id);
    scheduleSend();
    return id;
}

EchoProber::ProbeId IcmpEchoProber::finishLater(bool answered)
{
    const ProbeId id = ++m_lastId;
    Probe probe;
    probe.state = Probe::State::Done;
    probe.answered = answered;
    m_probes.insert(id, probe);
    m_done.push_back(id);
    m_emitTimer.start();
    return id;
}

void IcmpEchoProber::cancel(ProbeId id)
{
    const auto it = m_probes.find(id);
    if (it == m_probes.end())
        return;
    if (it->state == Probe::State::InFlight) {
        m_bySequence[it->sequence] = 0;
        --m_inFlight;
        m_deadlines.erase({it->deadline, id});
    }
    // A queued id stays in the send queue and is skipped there.
    m_probes.erase(it);
}

void IcmpEchoProber::cancelAll()
{
    m_probes.clear();
    m_sendQueue.clear();
    m_bySequence.assign(65536, 0);
    m_inFlight = 0;
    m_deadlines.clear();
    m_done.clear();
    m_sendTimer.stop();
    m_deadlineTimer.stop();
    m_emitTimer.stop();
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    m_pauseMs = 0;
}

bool IcmpEchoProber::isAvailable() const
{
    return m_socket->isOpen();
}

QString IcmpEchoProber::unavailableReason() const
{
    return m_socket->unavailableReason();
}

bool IcmpEchoProber::ensureAvailable()
{
    // The system may have allowed echo sockets since the last attempt.
    if (!m_socket->isOpen())
        openSocket();
    return m_socket->isOpen();
}

IcmpSocket::Kind IcmpEchoProber::socketKind() const
{
    return m_socket->kind();
}

int IcmpEchoProber::socketDescriptor() const
{
    return m_socket->descriptor();
}

void IcmpEchoProber::scheduleSend()
{
    // A pending pause after a refused send is left to run out.
    if (!m_sendTimer.isActive())
        m_sendTimer.start(0);
}

void IcmpEchoProber::sendQueued()
{
    int sent = 0;
    int batches = 0;
    bool refused = false;
    IcmpSocket::Request requests[IcmpSocket::kBatch];
    ProbeId ids[IcmpSocket::kBatch];
    while (!m_sendQueue.empty() && sent < SendBurst && !refused) {
        // The next queued probes with one time-to-live, each with a free sequence number.
        int count = 0;
        int ttl = 0;
        for (auto q = m_sendQueue.begin(); q != m_sendQueue.end() && count < IcmpSocket::kBatch;) {
            const auto it = m_probes.find(*q);
            if (it == m_probes.end() || it->state != Probe::State::Queued) {
                q = m_sendQueue.erase(q);
                continue;
            }
            if (count > 0 && it->ttl != ttl)
                break;
            quint16 sequence = 0;
            if (!allocateSequence(sequence))
                break; // every sequence number is in flight: the next answer makes room
            ttl = it->ttl;
            it->sequence = sequence;
            m_bySequence[sequence] = *q; // reserved; a refused request gives it back
            requests[count] = {it->address, sequence};
            ids[count++] = *q;
            ++q;
        }
        if (count == 0)
            break;

        int done = 0;
        const qint64 sentNs = systemTimeNs();
        const auto now = Clock::now();
        const IcmpSocket::SendStatus status =
            m_socket->send(std::span(requests, static_cast<size_t>(count)), ttl, done);
        for (int i = 0; i < done; ++i) {
            Probe &probe = m_probes[ids[i]];
            probe.state = Probe::State::InFlight;
            probe.sentNs = sentNs;
            probe.deadline = now + std::chrono::milliseconds(probe.timeoutMs);
            probe.refusedSince.reset();
            m_deadlines.emplace(probe.deadline, ids[i]);
            ++m_inFlight;
        }
        m_sendQueue.erase(m_sendQueue.begin(), m_sendQueue.begin() + done);
        for (int i = done; i < count; ++i)
            m_bySequence[requests[i].sequence] = 0;
        sent += done;
        if (done > 0)
            m_pauseMs = 0;
        if (status == IcmpSocket::SendStatus::TryLater) {
            refused = waitForRoom(m_probes[ids[done]], m_socket->lastError());
        } else if (status == IcmpSocket::SendStatus::Failed) {
            // No route, a broadcast address, a time-to-live that cannot be sent...
            m_sendQueue.pop_front();
            finish(ids[done], m_probes[ids[done]], false);
        }
        if (++batches % BatchesBetweenReads == 0)
            readSocket();
    }

    if (!refused && !m_sendQueue.empty() && m_inFlight < 65536)
        scheduleSend();
    armDeadlineTimer();
    emitFinished();
}

bool IcmpEchoProber::waitForRoom(Probe &probe, int error)
{
    ++m_deferredSends;
    const auto now = Clock::now();
    if (!probe.refusedSince)
        probe.refusedSince = now;
    if (now - *probe.refusedSince > RefusalLimit) {
        const ProbeId id = m_sendQueue.front();
        m_sendQueue.pop_front();
        finish(id, probe, false);
        m_pauseMs = 0;
        return false;
    }
    m_pauseMs = m_pauseMs == 0 ? FirstPauseMs : std::min(m_pauseMs * 2, LongestPauseMs);
    // A full send buffer says when it has room again; a full device queue does not.
    if (error == EAGAIN || error == EWOULDBLOCK)
        m_writeNotifier->setEnabled(true);
    m_sendTimer.start(m_pauseMs);
    return true;
}

bool IcmpEchoProber::allocateSequence(quint16 &sequence)
{
    for (int tries = 0; tries < 65536; ++tries) {
        const quint16 candidate = m_nextSequence++;
        if (m_bySequence[candidate] == 0) {
            sequence = candidate;
            return true;
        }
    }
    return false;
}

void IcmpEchoProber::readSocket()
{
    int count = 0;
    for (int n; count < ReadBudget && (n = m_socket->read(m_events)) > 0;) {
        count += n;
        for (const IcmpEchoEvent &event : m_events)
            handleEvent(event);
        m_events.clear();
    }
    std::optional<IcmpEchoEvent> event;
    while (count < ReadBudget && m_socket->readError(event)) {
        ++count;
        if (event)
            handleEvent(*event);
    }
}

void IcmpEchoProber::handleEvent(const IcmpEchoEvent &event)
{
    const ProbeId id = m_bySequence[event.sequence];
    const auto it = m_probes.find(id);
    if (it == m_probes.end() || it->state != Probe::State::InFlight || it->address != event.address)
        return; // late, duplicate, cancelled or someone else's
    const qint64 arrived = event.receivedNs != 0 ? event.receivedNs : systemTimeNs();
    if (arrived < it->sentNs)
        return; // about an earlier request that had this sequence number
    const bool inTime = arrived - it->sentNs <= qint64(it->timeoutMs) * 1000000;
    finish(id, *it, inTime && event.kind == IcmpEchoEvent::Kind::Reply);
}

void IcmpEchoProber::expireDeadlines()
{
    // Answers waiting in the socket count when they arrived in time, however
    // late the timer ran.
    readSocket();
    const auto now = Clock::now();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        const ProbeId id = m_deadlines.begin()->second;
        const auto it = m_probes.find(id);
        if (it == m_probes.end()) {
            m_deadlines.erase(m_deadlines.begin());
            continue;
        }
        finish(id, *it, false);
    }
    armDeadlineTimer();
    emitFinished();
}

void IcmpEchoProber::armDeadlineTimer()
{
    if (m_deadlines.empty()) {
        m_deadlineTimer.stop();
        return;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_deadlines.begin()->first - Clock::now());
    const qint64 ms = std::clamp<qint64>(left.count(), 0, LongestTimerMs);
    m_deadlineTimer.start(static_cast<int>(ms));
}

void IcmpEchoProber::finish(ProbeId id, Probe &probe, bool answered)
{
    if (probe.state == Probe::State::InFlight) {
        m_bySequence[probe.sequence] = 0;
        --m_inFlight;
        m_deadlines.erase({probe.deadline, id});
        if (!m_sendQueue.empty())
            scheduleSend();
    }
    probe.state = Probe::State::Done;
    probe.answered = answered;
    m_done.push_back(id);
}

void IcmpEchoProber::emitFinished()
{
    // A receiver may cancel, start probes, or delete this prober.
    const QPointer<IcmpEchoProber> self(this);
    while (!m_done.empty()) {
        const ProbeId id = m_done.front();
        m_done.pop_front();
        const auto it = m_probes.find(id);
        if (it == m_probes.end() || it->state != Probe::State::Done)
            continue;
        const bool answered = it->answered;
        m_probes.erase(it);
        emit finished(id, answered);
        if (!self)
            return;
    }
}

std::unique_ptr<EchoProber> createSystemEchoProber(QObject *parent)
{
    return std::make_unique<IcmpEchoProber>(parent);
}
