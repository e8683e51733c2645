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

    Probe probe;
    probe.address = address;
    probe.ttl = ttl;
    probe.timeoutMs = std::max(timeoutMs, 0);
    const ProbeId id = addProbe(probe);
    m_sendQueue.push_back(id);
    scheduleSend();
    return id;
}

EchoProber::ProbeId IcmpEchoProber::finishLater(bool answered)
{
    Probe probe;
    probe.state = Probe::State::Done;
    probe.answered = answered;
    const ProbeId id = addProbe(probe);
    m_done.push_back(id);
    m_emitTimer.start();
    return id;
}

void IcmpEchoProber::cancel(ProbeId id)
{
    Probe *probe = findProbe(id);
    if (!probe)
        return;
    if (probe->state == Probe::State::InFlight) {
        m_bySequence[probe->sequence] = 0;
        --m_inFlight;
    }
    // A queued id stays in the send queue and is skipped there, as its deadline is.
    release(id);
}

void IcmpEchoProber::cancelAll()
{
    m_probes.clear();
    m_firstId = m_lastId + 1;
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

bool IcmpEchoProber::ensureAvailable()
{
    // The system may have allowed echo sockets since the last attempt.
    if (!m_socket->isOpen())
        openSocket();
    return m_socket->isOpen();
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
    if (m_pauseMs > 0)
        readSocket(); // errors waiting in the socket may be what refused the last send
    while (!m_sendQueue.empty() && sent < SendBurst && !refused) {
        // The next queued probes with one time-to-live, each with a free sequence number.
        int count = 0;
        int ttl = 0;
        for (auto q = m_sendQueue.begin(); q != m_sendQueue.end() && count < IcmpSocket::kBatch;) {
            Probe *const it = findProbe(*q);
            if (!it || it->state != Probe::State::Queued) {
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
            Probe &probe = *findProbe(ids[i]);
            probe.state = Probe::State::InFlight;
            probe.sentNs = sentNs;
            probe.deadline = now + std::chrono::milliseconds(probe.timeoutMs);
            probe.refusedSince.reset();
            const std::pair entry(probe.deadline, ids[i]);
            if (m_deadlines.empty() || m_deadlines.back().first <= probe.deadline)
                m_deadlines.push_back(entry);
            else // a shorter wait than one sent before
                m_deadlines.insert(std::upper_bound(m_deadlines.begin(), m_deadlines.end(), entry),
                                   entry);
            ++m_inFlight;
        }
        m_sendQueue.erase(m_sendQueue.begin(), m_sendQueue.begin() + done);
        for (int i = done; i < count; ++i)
            m_bySequence[requests[i].sequence] = 0;
        sent += done;
        if (done > 0)
            m_pauseMs = 0;
        if (status == IcmpSocket::SendStatus::TryLater) {
            refused = waitForRoom(*findProbe(ids[done]), m_socket->lastError());
        } else if (status == IcmpSocket::SendStatus::Failed) {
            // No route, a broadcast address, a time-to-live that cannot be sent...
            m_sendQueue.pop_front();
            finish(ids[done], *findProbe(ids[done]), false);
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
    Probe *const it = findProbe(id);
    if (!it || it->state != Probe::State::InFlight || it->address != event.address)
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
    while (!m_deadlines.empty() && m_deadlines.front().first <= now) {
        const auto [deadline, id] = m_deadlines.front();
        m_deadlines.pop_front();
        Probe *const probe = findProbe(id);
        if (probe && probe->state == Probe::State::InFlight && probe->deadline == deadline)
            finish(id, *probe, false);
    }
    armDeadlineTimer();
    emitFinished();
}

void IcmpEchoProber::armDeadlineTimer()
{
    while (!m_deadlines.empty()) {
        const Probe *const probe = findProbe(m_deadlines.front().second);
        if (probe && probe->state == Probe::State::InFlight &&
            probe->deadline == m_deadlines.front().first)
            break;
        m_deadlines.pop_front();
    }
    if (m_deadlines.empty()) {
        m_deadlineTimer.stop();
        return;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_deadlines.front().first - Clock::now());
    const qint64 ms = std::clamp<qint64>(left.count(), 0, LongestTimerMs);
    m_deadlineTimer.start(static_cast<int>(ms));
}

void IcmpEchoProber::finish(ProbeId id, Probe &probe, bool answered)
{
    if (probe.state == Probe::State::InFlight) {
        m_bySequence[probe.sequence] = 0;
        --m_inFlight;
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
        const Probe *const probe = findProbe(id);
        if (!probe || probe->state != Probe::State::Done)
            continue;
        const bool answered = probe->answered;
        release(id);
        emit finished(id, answered);
        if (!self)
            return;
    }
}

EchoProber::ProbeId IcmpEchoProber::addProbe(const Probe &probe)
{
    if (m_probes.empty())
        m_firstId = m_lastId + 1;
    m_probes.push_back(probe);
    return ++m_lastId;
}

IcmpEchoProber::Probe *IcmpEchoProber::findProbe(ProbeId id)
{
    if (id < m_firstId || id - m_firstId >= m_probes.size())
        return nullptr;
    Probe &probe = m_probes[id - m_firstId];
    return probe.state == Probe::State::Free ? nullptr : &probe;
}

void IcmpEchoProber::release(ProbeId id)
{
    if (Probe *probe = findProbe(id))
        probe->state = Probe::State::Free;
    while (!m_probes.empty() && m_probes.front().state == Probe::State::Free) {
        m_probes.pop_front();
        ++m_firstId;
    }
}

std::unique_ptr<EchoProber> createSystemEchoProber(QObject *parent)
{
    return std::make_unique<IcmpEchoProber>(parent);
}
