#include "scansession.h"

#include "echoprober.h"
#include "scanrun.h"
#include "timestamp.h"

#include <QLocale>
#include <QTimer>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int kTtl = 128;
constexpr int kTimeoutMs = 200;
// New lines join the list, and the log, a few times a second: one clock
// reading, one write and one list update per batch.
constexpr int kBatchIntervalMs = 50;

} // namespace

QString resultListLine(bool pingMode, bool namesWanted, const QString &address, const QString &name,
                       const QString &timeStamp)
{
    if (!pingMode)
        return address + u'\t' + name;
    if (namesWanted)
        return address + u'\t' + name + u'\t' + timeStamp;
    return address + u'\t' + timeStamp;
}

QString counterLabelText(qint64 count, bool pingMode)
{
    // Groups of three digits are always separated, also where the locale
    // (C, for one) leaves separators out by default.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(count) + (pingMode ? u" pinged IP Numbers"_s : u" domain names"_s);
}

ScanSession::ScanSession(EchoProber &prober, HostResolver &resolver, QObject *parent)
    : QObject(parent)
    , m_prober(prober)
    , m_run(new ScanRun(prober, resolver, this))
    , m_batchTimer(new QTimer(this))
{
    setClock(nullptr);
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(kBatchIntervalMs);
    connect(m_batchTimer, &QTimer::timeout, this, &ScanSession::showPendingLines);
    connect(m_run, &ScanRun::currentAddressChanged, this, [this](const QString &text) {
        if (m_running)
            emit currentAddressChanged(text);
    });
    connect(m_run, &ScanRun::resultsReady, this, &ScanSession::onResultsReady);
    connect(m_run, &ScanRun::finished, this, [this](bool stopped) {
        // A Stop pressed after the walk had handled its last address stopped
        // nothing; left set, it would make Resume handle that address again.
        if (!stopped)
            m_stopRequested = false;
        finish(true);
    });
}

ScanSession::~ScanSession() = default;

void ScanSession::setClock(std::function<QDateTime()> clock)
{
    m_clock = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
}

void ScanSession::start(const ScanRequest &request)
{
    if (m_running)
        return;
    if (request.pingMode && !m_prober.ensureAvailable()) {
        // A run that cannot send a single echo request would end with an
        // empty list, as if nothing answered.
        emit refused(echoUnavailableMessage(m_prober.unavailableReason()));
        return;
    }
    m_running = true;
    setControls({true, false, QString()});

    m_loggingOn = request.loggingOn;
    if (m_loggingOn) {
        const QString fileName = ScanLog::effectiveFileName(request.logFileName);
        if (fileName != request.logFileName)
            emit logFileNameChanged(fileName);
        m_log.open(ScanLog::logFolderText(request.logFolder) + fileName,
                   request.overwrite && !m_stopRequested);
    }
    if (!m_stopRequested) {
        m_resultCount = 0;
        m_listLines = 0;
        emit counterTextChanged(QString());
        emit resultListCleared();
    }
    m_pingMode = request.pingMode;
    m_namesWanted = request.namesWanted;
    m_stopRequested = false;

    ScanOptions options;
    options.startText = request.startText;
    options.stopText = request.stopText;
    options.pingMode = m_pingMode;
    options.namesWanted = m_namesWanted;
    options.ttl = kTtl;
    options.timeoutMs = kTimeoutMs;
    options.parallel = m_parallel;
    m_run->start(options);
}

void ScanSession::requestStop()
{
    m_stopRequested = true;
    if (m_running)
        m_run->requestStop();
}

void ScanSession::startFocused()
{
    // The run's own enabling and disabling moves the focus around; that is
    // not the user coming onto Start.
    if (!m_changingControls)
        m_stopRequested = false;
}

void ScanSession::abort()
{
    if (!m_running)
        return;
    // Ended as Stop ends it; what was in flight is dropped.
    requestStop();
    finish(false);
}

void ScanSession::onResultsReady(const QList<ScanResult> &results)
{
    if (!m_running)
        return;
    for (const ScanResult &result : results) {
        if (m_pingMode || !result.name.isEmpty())
            m_pendingResults.append(result);
    }
    if (!m_pendingResults.isEmpty() && !m_batchTimer->isActive())
        m_batchTimer->start();
}

void ScanSession::showPendingLines()
{
    m_batchTimer->stop();
    if (m_pendingResults.isEmpty())
        return;
    // One clock reading stamps the batch; its log lines are written before
    // its list lines are shown.
    const QString stamp = m_pingMode ? formatTimeStamp(m_clock()) : QString();
    QStringList added;
    bool cleared = false;
    for (const ScanResult &result : std::exchange(m_pendingResults, {})) {
        if (m_loggingOn) {
            if (m_pingMode)
                m_log.addPingLine(result.ipNumberText, result.name, stamp);
            else
                m_log.addDomainLine(result.ipNumberText, result.name);
        }
        // The line that finds the list full starts the new list, so the list
        // and the counter always agree.
        if (m_listLines >= m_capacity) {
            added.clear();
            cleared = true;
            m_listLines = 0;
            m_resultCount = 0;
        }
        added.append(
            resultListLine(m_pingMode, m_namesWanted, result.ipNumberText, result.name, stamp));
        ++m_listLines;
        ++m_resultCount;
    }
    if (m_loggingOn)
        m_log.flush();
    if (cleared)
        emit resultListCleared();
    emit resultLinesAdded(added);
    emit counterTextChanged(counterLabelText(m_resultCount, m_pingMode));
}

void ScanSession::setControls(const RunControls &controls)
{
    m_changingControls = true;
    emit controlsChanged(controls);
    m_changingControls = false;
}

void ScanSession::finish(bool tellLogFailure)
{
    if (!m_running)
        return;
    m_running = false;
    showPendingLines();
    const bool listed = m_resultCount != 0;
    setControls({false, listed,
                 listed && m_namesWanted ? u" Double-click on domain to load "_s : QString()});
    QString logFailure;
    if (m_loggingOn) {
        m_log.close();
        if (tellLogFailure)
            logFailure = m_log.failureReason();
    }
    emit finished(logFailure);
}
