#pragma once

#include "echoprober.h"

#include <QList>
#include <QSet>
#include <QTimer>
#include <functional>

/// An echo prober whose answers and their order the test decides: real sockets
/// cannot make replies arrive in a chosen order or late after a cancel.
class FakeEchoProber : public EchoProber
{
    Q_OBJECT
public:
    using EchoProber::EchoProber;
    using EchoProber::probe;

    QSet<quint32> answering;           ///< addresses that answer
    std::function<int(quint32)> delay; ///< reply delay in ms per address (default 0)
    bool available = true;
    bool reportCancelledToo = false; ///< emit finished() even after cancel (late replies)

    QList<quint32> sent;
    QList<QPair<int, int>> ttlAndTimeout; ///< of each probe sent, in order
    QSet<ProbeId> cancelled;
    int maxInFlight = 0; ///< most probes ever waiting for their reply at once

    ProbeId probe(quint32 address, int ttl, int timeoutMs) override
    {
        const ProbeId id = ++m_lastId;
        sent.append(address);
        ttlAndTimeout.append({ttl, timeoutMs});
        maxInFlight = qMax(maxInFlight, ++m_inFlight);
        const bool answered = answering.contains(address);
        QTimer::singleShot(delay ? delay(address) : 0, this, [this, id, answered] {
            if (!cancelled.contains(id))
                --m_inFlight;
            if (!cancelled.contains(id) || reportCancelledToo)
                emit finished(id, answered);
        });
        return id;
    }
    void cancel(ProbeId id) override
    {
        m_inFlight -= cancelled.contains(id) ? 0 : 1;
        cancelled.insert(id);
    }
    void cancelAll() override {}
    bool isAvailable() const override { return available; }
    QString unavailableReason() const override
    {
        return available ? QString() : QStringLiteral("echo requests are not allowed");
    }

protected:
    ProbeId finishLater(bool answered) override
    {
        const ProbeId id = ++m_lastId;
        QTimer::singleShot(0, this, [this, id, answered] { emit finished(id, answered); });
        return id;
    }

private:
    ProbeId m_lastId = 0;
    int m_inFlight = 0;
};
