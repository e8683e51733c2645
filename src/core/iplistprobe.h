#pragma once

#include "echoprober.h"

#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

/// Probes every row of the list at once and reports when the last one has
/// answered or timed out, so a whole list costs about one time-out instead of
/// one per row. A text that is no address (an empty row included) is not sent
/// and counts as no answer.
class IpListProbe : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTtl = 128;
    static constexpr int kTimeoutMs = 200;

    explicit IpListProbe(EchoProber &prober, QObject *parent = nullptr);
    ~IpListProbe() override;

    /// Starts one probe per text, each text handed to the prober exactly as
    /// given. finished() follows on a later event-loop turn, also when nothing
    /// had to be sent. A run still going is cancelled first.
    void start(const QStringList &ipNumbers);
    /// Drops the probes in flight; finished() is not emitted for this run.
    void cancel();
    bool isRunning() const { return m_running; }
    EchoProber &prober() const { return m_prober; }

    /// Starts a run and waits for it in a local event loop that handles no user
    /// input meanwhile; returns one answer per text.
    QList<bool> probeAndWait(const QStringList &ipNumbers);

    /// How long a run may take beyond the probes' own time-out before the rows
    /// still open count as no answer. Only a prober that loses probes needs it.
    void setGraceMs(int graceMs) { m_graceMs = graceMs; }

signals:
    void finished(const QList<bool> &answered);

private:
    void onProbeFinished(EchoProber::ProbeId id, bool answered);
    void finishRun();

    EchoProber &m_prober;
    QHash<EchoProber::ProbeId, int> m_rowOfProbe;
    QList<bool> m_answered;
    QTimer m_guard;
    QEventLoop *m_waitLoop = nullptr;
    int m_graceMs = 5000;
    bool m_running = false;
};
