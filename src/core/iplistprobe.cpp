#include "iplistprobe.h"

#include "ipv4address.h"

#include <QEventLoop>

IpListProbe::IpListProbe(EchoProber &prober, QObject *parent)
    : QObject(parent)
    , m_prober(prober)
{
    m_guard.setSingleShot(true);
    connect(&m_guard, &QTimer::timeout, this, &IpListProbe::finishRun);
    connect(&m_prober, &EchoProber::finished, this, &IpListProbe::onProbeFinished);
}

IpListProbe::~IpListProbe()
{
    cancel();
}

void IpListProbe::start(const QStringList &ipNumbers)
{
    cancel();
    m_running = true;
    m_answered = QList<bool>(ipNumbers.size(), false);
    for (qsizetype row = 0; row < ipNumbers.size(); ++row) {
        if (!parseIPv4Address(ipNumbers.at(row)))
            continue;
        m_rowOfProbe.insert(m_prober.probe(ipNumbers.at(row), kTtl, kTimeoutMs),
                            static_cast<int>(row));
    }
    // The guard also delivers the result of a run that sent nothing, on the
    // next turn of the event loop as promised.
    m_guard.start(m_rowOfProbe.isEmpty() ? 0 : kTimeoutMs + m_graceMs);
}

void IpListProbe::cancel()
{
    for (auto it = m_rowOfProbe.cbegin(); it != m_rowOfProbe.cend(); ++it)
        m_prober.cancel(it.key());
    m_rowOfProbe.clear();
    m_guard.stop();
    m_running = false;
    if (m_waitLoop)
        m_waitLoop->quit();
}

QList<bool> IpListProbe::probeAndWait(const QStringList &ipNumbers)
{
    start(ipNumbers);
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_waitLoop = nullptr;
    // Also after a cancel from inside the loop: the answers that came in so far.
    return m_answered;
}

void IpListProbe::onProbeFinished(EchoProber::ProbeId id, bool answered)
{
    const auto it = m_rowOfProbe.constFind(id);
    if (it == m_rowOfProbe.cend())
        return;
    m_answered[it.value()] = answered;
    m_rowOfProbe.erase(it);
    if (m_rowOfProbe.isEmpty())
        finishRun();
}

void IpListProbe::finishRun()
{
    if (!m_running)
        return;
    // Probes still open when the guard fires are given up as no answer.
    cancel();
    emit finished(m_answered);
}
