#pragma once

#include "scanlog.h"
#include "scanrun.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <functional>

class EchoProber;
class HostResolver;
class QTimer;

/// What the window's controls ask of a run when Start or Resume is pressed.
struct ScanRequest
{
    QString startText;
    QString stopText;
    bool pingMode = true;
    bool namesWanted = false;
    bool loggingOn = false; ///< "Enabled" ticked (a greyed box is not)
    bool overwrite = false; ///< "Overwrite" ticked
    QString logFolder;      ///< the folder list's path
    QString logFileName;    ///< the file name box's text as typed
};

/// Which controls a run leaves usable.
struct RunControls
{
    bool running = false;       ///< only Stop is enabled, and it has the focus
    bool resultsListed = false; ///< Copy and Print are enabled
    QString resultToolTip;      ///< the result list's tooltip
};

/// One line of the result list, fields separated by tabs.
QString resultListLine(bool pingMode, bool namesWanted, const QString &address, const QString &name,
                       const QString &timeStamp);

/// The counter label: the count with the locale's group separators, then
/// " pinged IP Numbers" (Ping mode) or " domain names".
QString counterLabelText(qint64 count, bool pingMode);

/// Result lines the list holds before it is emptied and started anew; a /16 fits.
inline constexpr int kResultListCapacity = 65536;

/// The rules of a range scan behind Start, Stop and Resume, free of widgets:
/// the stop flag, fresh and resumed runs, the counter, the log file, the
/// result lines in batches and the list-full rule. The window turns its
/// controls into a ScanRequest and the signals into widget changes.
class ScanSession : public QObject
{
    Q_OBJECT
public:
    ScanSession(EchoProber &prober, HostResolver &resolver, QObject *parent = nullptr);
    ~ScanSession() override;

    /// Starts a run: a resumed one when the stop flag is set, else a fresh
    /// one. Refused (refused() tells why) when a Ping run cannot send echo
    /// requests; ignored while a run is going.
    void start(const ScanRequest &request);
    /// Sets the stop flag; a run going ends before its next address.
    void requestStop();
    /// The focus came onto Start: the next run is a fresh one.
    void startFocused();
    /// Ends a run at once, as Stop would, without telling of a failed log.
    void abort();

    bool isRunning() const { return m_running; }
    bool stopRequested() const { return m_stopRequested; }
    /// Lines the current run, or the run it resumed, has added.
    qint64 resultCount() const { return m_resultCount; }

    void setParallel(int addresses) { m_parallel = addresses; }
    void setResultListCapacity(int lines) { m_capacity = qMax(1, lines); }
    void setClock(std::function<QDateTime()> clock);

signals:
    void refused(const QString &message);
    void controlsChanged(const RunControls &controls);
    /// A blank file name box was given the default name.
    void logFileNameChanged(const QString &fileName);
    void currentAddressChanged(const QString &ipNumberText);
    void resultListCleared();
    /// New lines for the end of the list; the last one is to be selected.
    void resultLinesAdded(const QStringList &lines);
    void counterTextChanged(const QString &text);
    /// The run has ended; @p logFailure says why its log failed, if it did.
    void finished(const QString &logFailure);

private:
    void onResultsReady(const QList<ScanResult> &results);
    void showPendingLines();
    void setControls(const RunControls &controls);
    void finish(bool tellLogFailure);

    EchoProber &m_prober;
    ScanRun *m_run = nullptr;
    QTimer *m_batchTimer = nullptr;
    ScanLog m_log;
    std::function<QDateTime()> m_clock;
    QList<ScanResult> m_pendingResults;
    qint64 m_resultCount = 0;
    int m_listLines = 0;
    int m_capacity = kResultListCapacity;
    int m_parallel = 256;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_pingMode = true;
    bool m_namesWanted = false;
    bool m_loggingOn = false;
    bool m_changingControls = false;
};
