#pragma once

#include <QObject>
#include <QString>
#include <memory>

/// Sends ICMP echo requests and tells, for each, whether the host answered.
///
/// Many probes may be in flight at once on one socket; each is matched to its
/// own reply. Results always arrive through finished(), never from inside
/// probe() itself, so a caller may connect after starting a probe in the same
/// event-loop turn.
class EchoProber : public QObject
{
    Q_OBJECT
public:
    using ProbeId = quint64;

    explicit EchoProber(QObject *parent = nullptr)
        : QObject(parent)
    {}

    /// Starts one probe of @p address (IPv4, host byte order) with @p ttl and a
    /// wait of @p timeoutMs milliseconds, counted from the moment the request
    /// actually left. Returns an id that finished() will carry.
    virtual ProbeId probe(quint32 address, int ttl, int timeoutMs) = 0;

    /// Starts one probe of an IP Number text, converted as the classic
    /// inet_addr does but with decimal octets (parseIPv4Address). A text that
    /// does not convert finishes as "no answer" without sending anything.
    ProbeId probe(const QString &ipNumberText, int ttl, int timeoutMs);

    /// Forgets a probe: finished() will not be emitted for it.
    virtual void cancel(ProbeId id) = 0;
    /// Forgets every probe in flight.
    virtual void cancelAll() = 0;

    /// False when echo requests cannot be sent at all on this machine
    /// (neither a ping socket nor a raw socket may be opened).
    virtual bool isAvailable() const = 0;
    /// Why echo requests cannot be sent, and how to allow them; empty when available.
    virtual QString unavailableReason() const = 0;
    /// Tries again to get what echo requests need when it was missing, since
    /// the user may have allowed them after start-up; then as isAvailable().
    virtual bool ensureAvailable() { return isAvailable(); }

signals:
    void finished(EchoProber::ProbeId id, bool answered);

protected:
    /// Hands out an id and reports "no answer" for it on the next event-loop turn.
    virtual ProbeId finishLater(bool answered) = 0;
};

/// What the user is told when echo requests cannot be sent: says so, then
/// @p reason (unavailableReason()).
QString echoUnavailableMessage(const QString &reason);

/// The platform's prober (ICMP sockets on Linux).
std::unique_ptr<EchoProber> createSystemEchoProber(QObject *parent = nullptr);
