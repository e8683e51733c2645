#pragma once

#include "echoprober.h"
#include "icmpsocket_linux.h"

#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

class QSocketNotifier;

/// EchoProber on one Linux ICMP socket (see IcmpSocket), driven by the event
/// loop: a socket notifier for replies and errors, one timer for the nearest
/// deadline, one for sending. Requests leave in batches; every readiness of the
/// socket drains it. Requests the system has no room for (EAGAIN, ENOBUFS, a
/// full neighbour table) wait in a queue and are sent again with growing
/// pauses; their wait starts when they actually leave. A reply counts when the
/// kernel received it within the wait, however late it is read.
class IcmpEchoProber : public EchoProber
{
    Q_OBJECT
public:
    explicit IcmpEchoProber(QObject *parent = nullptr);
    ~IcmpEchoProber() override;

    using EchoProber::probe;
    ProbeId probe(quint32 address, int ttl, int timeoutMs) override;
    void cancel(ProbeId id) override;
    void cancelAll() override;
    bool isAvailable() const override { return m_socket->isOpen(); }
    QString unavailableReason() const override { return m_socket->unavailableReason(); }
    bool ensureAvailable() override;

    IcmpSocket::Kind socketKind() const { return m_socket->kind(); }
    /// The socket's descriptor, -1 when none is open.
    int socketDescriptor() const { return m_socket->descriptor(); }
    /// Probes sent and waiting for their answer.
    int inFlightCount() const { return m_inFlight; }
    /// Probes waiting to be sent.
    int queuedCount() const { return static_cast<int>(m_sendQueue.size()); }
    /// How many times the system refused a send for lack of room so far.
    quint64 deferredSendCount() const { return m_deferredSends; }

protected:
    ProbeId finishLater(bool answered) override;

private:
    using Clock = std::chrono::steady_clock;

    struct Probe
    {
        enum class State { Free, Queued, InFlight, Done };
        quint32 address = 0;
        int ttl = 0;
        int timeoutMs = 0;
        State state = State::Queued;
        bool answered = false;
        quint16 sequence = 0;
        Clock::time_point deadline;
        qint64 sentNs = 0; ///< system time of the send, as the kernel stamps arrivals
        std::optional<Clock::time_point> refusedSince;
    };

    void openSocket();
    void scheduleSend();
    void sendQueued();
    bool waitForRoom(Probe &probe, int error);
    bool allocateSequence(quint16 &sequence);
    void readSocket();
    void handleEvent(const IcmpEchoEvent &event);
    void expireDeadlines();
    void armDeadlineTimer();
    void finish(ProbeId id, Probe &probe, bool answered);
    ProbeId addProbe(const Probe &probe);
    Probe *findProbe(ProbeId id);
    void release(ProbeId id);
    void emitFinished();

    std::unique_ptr<IcmpSocket> m_socket;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_sendTimer;
    QTimer m_deadlineTimer;
    QTimer m_emitTimer;

    ProbeId m_lastId = 0;
    quint16 m_nextSequence = 0;
    std::deque<Probe> m_probes; ///< by id, from m_firstId on; ended ones are Free
    ProbeId m_firstId = 1;
    std::deque<ProbeId> m_sendQueue;
    std::vector<ProbeId> m_bySequence; ///< the probe in flight with each sequence number, or 0
    int m_inFlight = 0;
    std::vector<IcmpEchoEvent> m_events;
    /// In time order; entries of probes that ended before are skipped.
    std::deque<std::pair<Clock::time_point, ProbeId>> m_deadlines;
    std::deque<ProbeId> m_done;

    int m_pauseMs = 0;
    quint64 m_deferredSends = 0;
};
