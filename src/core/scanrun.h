#pragma once

#include <QList>
#include <QObject>
#include <QString>

class EchoProber;
class HostResolver;

/// What one run of the range scan reads from the window when it starts.
struct ScanOptions
{
    QString startText;    ///< the start field's text, used unchanged
    QString stopText;     ///< the stop field's text: the run's stop reference
    bool pingMode = true; ///< false: Get Domain mode (no probes, names only)
    bool namesWanted = false;
    int ttl = 128;
    int timeoutMs = 200;
    int parallel = 256; ///< addresses in flight at once; 1 walks one at a time
};

/// One result of a run: an address that answered (Ping mode) or has a name
/// (Get Domain mode). @p name is empty when none was found or names are not wanted.
struct ScanResult
{
    QString ipNumberText;
    QString name;
};

/// Walks a range of IP Numbers with up to ScanOptions::parallel addresses in
/// flight, and commits the results strictly in address order, so that what the
/// window sees is what a walk of one address at a time would give.
///
/// The window drives it: start(), then requestStop() or waiting for finished().
/// Signals are emitted on the thread that owns the run (the UI thread).
class ScanRun : public QObject
{
    Q_OBJECT
public:
    ScanRun(EchoProber &prober, HostResolver &resolver, QObject *parent = nullptr);
    ~ScanRun() override;

    /// Starts a run; returns at once. A run in progress is ended first, silently.
    void start(const ScanOptions &options);
    /// Ends the run at the lowest address not yet committed; what is in flight
    /// beyond it is dropped. finished() follows on a later event-loop turn.
    void requestStop();
    bool isRunning() const;

    /// Number of reverse-lookup worker threads used when names are wanted.
    static int lookupThreadCount();

signals:
    /// The lowest address not yet committed (the walk's current address).
    void currentAddressChanged(const QString &ipNumberText);
    /// The results committed in one go, in address order: addresses that
    /// answered (Ping mode) or have a name (Get Domain mode).
    void resultsReady(const QList<ScanResult> &results);
    /// The run has ended: range done, stop address reached, or stopped.
    /// @p stopped tells whether requestStop() ended it.
    void finished(bool stopped);

private:
    class Private;
    Private *d;
};
