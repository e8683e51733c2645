#pragma once

#include "echoprober.h"

#include <QSet>
#include <QTimer>
#include <functional>

/// Replies the test chooses, in an order it chooses, also late after a cancel: real sockets cannot.
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
        sent.append(address);
        ttlAndTimeout.append({ttl, timeoutMs});
        maxInFlight = qMax(maxInFlight, ++m_inFlight);
        return later(delay ? delay(address) : 0, answering.contains(address), 1);
    }
    void cancel(ProbeId id) override
    {
        m_inFlight -= !cancelled.contains(id);
        cancelled.insert(id);
    }
    void cancelAll() override {}
    bool isAvailable() const override { return available; }
    QString unavailableReason() const override
    {
        return available ? QString() : QStringLiteral("echo requests are not allowed");
    }

protected:
    ProbeId finishLater(bool answered) override { return later(0, answered, 0); }

private:
    ProbeId later(int ms, bool answered, int counted) // counted: a probe sent, in flight until then
    {
        const ProbeId id = ++m_lastId;
        QTimer::singleShot(ms, this, [this, id, answered, counted] {
            const bool live = !cancelled.contains(id);
            m_inFlight -= live ? counted : 0;
            if (live || reportCancelledToo || !counted)
                emit finished(id, answered);
        });
        return id;
    }

    ProbeId m_lastId = 0;
    int m_inFlight = 0;
};
