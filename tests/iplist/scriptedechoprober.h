#pragma once

#include "echoprober.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

/// A prober whose answers, their delays and lost replies the test decides:
/// real sockets cannot deliver replies in a chosen order or lose one on demand.
class ScriptedEchoProber : public EchoProber
{
    Q_OBJECT
public:
    explicit ScriptedEchoProber(QObject *parent = nullptr)
        : EchoProber(parent)
    {}

    QSet<quint32> answering;
    QHash<quint32, int> delayMs; ///< reply delay per address; 0 when missing
    QSet<quint32> lost;          ///< addresses whose probe never finishes
    QList<quint32> sent;
    QList<int> ttls;
    QList<int> timeouts;
    QSet<ProbeId> cancelled;

    using EchoProber::probe;
    ProbeId probe(quint32 address, int ttl, int timeoutMs) override
    {
        const ProbeId id = ++m_lastId;
        sent.append(address);
        ttls.append(ttl);
        timeouts.append(timeoutMs);
        if (!lost.contains(address)) {
            const bool answered = answering.contains(address);
            QTimer::singleShot(delayMs.value(address), this, [this, id, answered] {
                if (!cancelled.contains(id))
                    emit finished(id, answered);
            });
        }
        return id;
    }
    void cancel(ProbeId id) override { cancelled.insert(id); }
    void cancelAll() override
    {
        for (ProbeId id = 1; id <= m_lastId; ++id)
            cancelled.insert(id);
    }
    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }

protected:
    ProbeId finishLater(bool answered) override
    {
        const ProbeId id = ++m_lastId;
        QTimer::singleShot(0, this, [this, id, answered] { emit finished(id, answered); });
        return id;
    }

private:
    ProbeId m_lastId = 0;
};
