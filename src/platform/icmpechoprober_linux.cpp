#include "icmpechoprober_linux.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>

namespace {

// Requests sent per turn of the event loop; replies are read between bursts
// so that thousands of probes in flight never overflow the receive queue.
constexpr int SendBurst = 64;
constexpr int ReadBudget = 1024;
constexpr int FirstPauseMs = 1;
constexpr int LongestPauseMs = 50;
// When the system has refused every send for this long, something other than
// a full queue is wrong: the waiting probes end as unanswered.
constexpr auto SendStallLimit = std::chrono::seconds(10);
constexpr qint64 LongestTimerMs = 3600 * 1000;

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
        readSocket(ReadBudget);
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
        m_bySequence.remove(it->sequence);
        m_deadlines.erase({it->deadline, id});
    }
    // A queued id stays in the send queue and is skipped there.
    m_probes.erase(it);
}

void IcmpEchoProber::cancelAll()
{
    m_probes.clear();
    m_sendQueue.clear();
    m_bySequence.clear();
    m_deadlines.clear();
    m_done.clear();
    m_sendTimer.stop();
    m_deadlineTimer.stop();
    m_emitTimer.stop();
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    m_pauseMs = 0;
    m_stalledSince.reset();
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
    while (!m_sendQueue.empty() && sent < SendBurst) {
        const ProbeId id = m_sendQueue.front();
        const auto it = m_probes.find(id);
        if (it == m_probes.end() || it->state != Probe::State::Queued) {
            m_sendQueue.pop_front();
            continue;
        }
        quint16 sequence = 0;
        if (!allocateSequence(sequence))
            break; // every sequence number is in flight: the next answer makes room

        const IcmpSocket::SendStatus status = m_socket->send(it->address, it->ttl, sequence);
        if (status == IcmpSocket::SendStatus::TryLater) {
            waitForRoom(m_socket->lastError());
            break;
        }
        m_sendQueue.pop_front();
        m_pauseMs = 0;
        m_stalledSince.reset();
        if (status == IcmpSocket::SendStatus::Failed) {
            // No route, a broadcast address, a time-to-live that cannot be sent...
            finish(id, *it, false);
            continue;
        }
        it->state = Probe::State::InFlight;
        it->sequence = sequence;
        it->deadline = Clock::now() + std::chrono::milliseconds(it->timeoutMs);
        m_bySequence.insert(sequence, id);
        m_deadlines.emplace(it->deadline, id);
        ++sent;
    }

    if (sent > 0)
        readSocket(ReadBudget);
    if (m_sendQueue.empty())
        m_stalledSince.reset();
    else if (m_bySequence.size() < 65536)
        scheduleSend();
    armDeadlineTimer();
    emitFinished();
}

void IcmpEchoProber::waitForRoom(int error)
{
    ++m_deferredSends;
    const auto now = Clock::now();
    if (!m_stalledSince)
        m_stalledSince = now;
    if (now - *m_stalledSince > SendStallLimit) {
        failQueued();
        return;
    }
    m_pauseMs = m_pauseMs == 0 ? FirstPauseMs : std::min(m_pauseMs * 2, LongestPauseMs);
    // A full send buffer says when it has room again; a full device queue does not.
    if (error == EAGAIN || error == EWOULDBLOCK)
        m_writeNotifier->setEnabled(true);
    m_sendTimer.start(m_pauseMs);
}

void IcmpEchoProber::failQueued()
{
    while (!m_sendQueue.empty()) {
        const ProbeId id = m_sendQueue.front();
        m_sendQueue.pop_front();
        const auto it = m_probes.find(id);
        if (it != m_probes.end() && it->state == Probe::State::Queued)
            finish(id, *it, false);
    }
    m_pauseMs = 0;
    m_stalledSince.reset();
}

bool IcmpEchoProber::allocateSequence(quint16 &sequence)
{
    for (int tries = 0; tries < 65536; ++tries) {
        const quint16 candidate = m_nextSequence++;
        if (!m_bySequence.contains(candidate)) {
            sequence = candidate;
            return true;
        }
    }
    return false;
}

void IcmpEchoProber::readSocket(int budget)
{
    std::optional<IcmpEchoEvent> event;
    int count = 0;
    while (count < budget && m_socket->read(event)) {
        ++count;
        if (event)
            handleEvent(*event);
    }
    while (count < budget && m_socket->readError(event)) {
        ++count;
        if (event)
            handleEvent(*event);
    }
}

void IcmpEchoProber::handleEvent(const IcmpEchoEvent &event)
{
    const auto found = m_bySequence.constFind(event.sequence);
    if (found == m_bySequence.cend())
        return; // late, duplicate, cancelled or someone else's
    const ProbeId id = *found;
    const auto it = m_probes.find(id);
    if (it == m_probes.end() || it->address != event.address)
        return;
    finish(id, *it, event.kind == IcmpEchoEvent::Kind::Reply);
}

void IcmpEchoProber::expireDeadlines()
{
    // Answers already waiting in the socket count, however late the timer ran.
    readSocket(ReadBudget);
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
        m_bySequence.remove(probe.sequence);
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
