#include "scanrun.h"

#include "echoprober.h"
#include "hostresolver.h"
#include "ipnumber.h"

#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <deque>
#include <memory>

namespace {

// Addresses that need no network work (Get Domain without names) are committed
// in batches of this size per event-loop turn, so a long range never freezes the window.
constexpr int kMaxCommitsPerTurn = 4096;

} // namespace

class ScanRun::Private
{
public:
    // Lookup results are posted through this box; the run closes it when it is
    // destroyed, so a worker that finishes late never touches a dead object.
    struct LookupMailbox
    {
        QMutex mutex;
        ScanRun *run = nullptr;
    };

    struct Slot
    {
        QString text;
        QString name;
        bool probePending = false;
        bool lookupPending = false;
        bool answered = false;
        EchoProber::ProbeId probeId = 0;
    };

    Private(ScanRun *owner, EchoProber &echoProber, HostResolver &hostResolver)
        : q(owner)
        , prober(echoProber)
        , resolver(hostResolver)
        , mailbox(std::make_shared<LookupMailbox>())
    {
        mailbox->run = owner;
        lookupPool.setMaxThreadCount(lookupThreadCount());
    }

    ScanRun *q;
    EchoProber &prober;
    HostResolver &resolver;
    std::shared_ptr<LookupMailbox> mailbox;
    QThreadPool lookupPool;

    ScanOptions options;
    bool running = false;
    bool walkDone = false;
    bool stopRequested = false;
    bool committing = false;
    bool commitScheduled = false;
    quint64 generation = 0;

    OctetSlots octets;
    QString lastCommitted;
    qint64 firstSeq = 0; // sequence number of pending.front()
    std::deque<Slot> pending;
    QHash<EchoProber::ProbeId, qint64> probeSeq;

    int windowSize() const { return options.parallel; }

    Slot *slotFor(qint64 seq)
    {
        const qint64 index = seq - firstSeq;
        if (index < 0 || index >= static_cast<qint64>(pending.size()))
            return nullptr;
        return &pending[static_cast<std::size_t>(index)];
    }

    void begin(const ScanOptions &newOptions)
    {
        options = newOptions;
        options.parallel = qBound(1, options.parallel, 65536);
        running = true;
        walkDone = false;
        stopRequested = false;
        lastCommitted.clear();
        pending.clear();
        probeSeq.clear();
        firstSeq = 0;
        ++generation;

        // The start address is always handled; the end tests follow it.
        enqueue(options.startText);
        if (walkEnds(options.startText, options.stopText))
            walkDone = true;
        else
            splitIpNumber(options.startText, octets);
        fillWindow();
        scheduleCommit();
    }

    void fillWindow()
    {
        while (!walkDone && static_cast<int>(pending.size()) < windowSize()) {
            if (!nextIpNumber(octets)) {
                walkDone = true;
                break;
            }
            const QString next = octets.slot[4];
            enqueue(next);
            if (walkEnds(next, options.stopText))
                walkDone = true;
        }
    }

    void enqueue(const QString &text)
    {
        const qint64 seq = firstSeq + static_cast<qint64>(pending.size());
        Slot slot;
        slot.text = text;
        slot.lookupPending = options.namesWanted;
        slot.probePending = options.pingMode;
        pending.push_back(slot);
        if (options.namesWanted)
            startLookup(seq, text);
        if (options.pingMode) {
            const EchoProber::ProbeId id = prober.probe(text, options.ttl, options.timeoutMs);
            pending.back().probeId = id;
            probeSeq.insert(id, seq);
        }
    }

    void startLookup(qint64 seq, const QString &text)
    {
        std::shared_ptr<LookupMailbox> box = mailbox;
        HostResolver *res = &resolver;
        const quint64 gen = generation;
        lookupPool.start([box, res, gen, seq, text] {
            const QString name = res->ipNumberToHostName(text);
            QMutexLocker lock(&box->mutex);
            if (!box->run)
                return;
            ScanRun *run = box->run;
            QMetaObject::invokeMethod(
                run, [run, gen, seq, name] { run->d->lookupFinished(gen, seq, name); },
                Qt::QueuedConnection);
        });
    }

    void lookupFinished(quint64 gen, qint64 seq, const QString &name)
    {
        if (!running || gen != generation)
            return;
        Slot *slot = slotFor(seq);
        if (!slot || !slot->lookupPending)
            return;
        slot->lookupPending = false;
        slot->name = name;
        scheduleCommit();
    }

    void probeFinished(EchoProber::ProbeId id, bool answered)
    {
        const auto it = probeSeq.constFind(id);
        if (it == probeSeq.constEnd())
            return;
        const qint64 seq = it.value();
        probeSeq.erase(it);
        Slot *slot = slotFor(seq);
        if (!slot || !slot->probePending)
            return;
        slot->probePending = false;
        slot->answered = answered;
        scheduleCommit();
    }

    // Answers that arrive together are committed together, once per
    // event-loop turn: one batch of results, one move of the start field.
    void scheduleCommit()
    {
        if (commitScheduled)
            return;
        commitScheduled = true;
        const quint64 gen = generation;
        QTimer::singleShot(0, q, [this, gen] {
            commitScheduled = false;
            if (running && gen == generation)
                commit();
        });
    }

    // Commits finished addresses from the front, in address order.
    void commit()
    {
        if (committing || !running)
            return;
        committing = true;
        const quint64 gen = generation;
        QList<ScanResult> results;
        int committed = 0;
        while (!pending.empty()) {
            Slot &front = pending.front();
            if (front.probePending || front.lookupPending)
                break;
            if (committed >= kMaxCommitsPerTurn) {
                scheduleCommit();
                break;
            }
            const Slot done = std::move(front);
            pending.pop_front();
            ++firstSeq;
            ++committed;
            lastCommitted = done.text;
            fillWindow();
            if (!isResult(done))
                continue;
            results.append({done.text, options.namesWanted ? done.name : QString()});
        }
        // A slot of this signal may stop or restart the run.
        if (!results.isEmpty())
            emit q->resultsReady(results);
        committing = false;
        if (!running || gen != generation)
            return;
        if (stopRequested) {
            end(true);
            return;
        }
        if (pending.empty() && walkDone) {
            emit q->currentAddressChanged(lastCommitted);
            end(false);
            return;
        }
        if (committed > 0 && !pending.empty())
            emit q->currentAddressChanged(pending.front().text);
    }

    bool isResult(const Slot &slot) const
    {
        if (options.pingMode)
            return slot.answered;
        return options.namesWanted && !slot.name.isEmpty();
    }

    void dropInFlight()
    {
        for (auto it = probeSeq.constBegin(); it != probeSeq.constEnd(); ++it)
            prober.cancel(it.key());
        probeSeq.clear();
        lookupPool.clear();
        ++generation;
    }

    void end(bool stopped)
    {
        if (!running)
            return;
        const QString resumeAt = pending.empty() ? lastCommitted : pending.front().text;
        dropInFlight();
        pending.clear();
        running = false;
        if (stopped)
            emit q->currentAddressChanged(resumeAt);
        const quint64 endedGeneration = generation;
        QTimer::singleShot(0, q, [this, stopped, endedGeneration] {
            // A run started meanwhile owns the window now; this end is stale.
            if (!running && generation == endedGeneration)
                emit q->finished(stopped);
        });
    }
};

ScanRun::ScanRun(EchoProber &prober, HostResolver &resolver, QObject *parent)
    : QObject(parent)
    , d(new Private(this, prober, resolver))
{
    connect(&prober, &EchoProber::finished, this,
            [this](EchoProber::ProbeId id, bool answered) { d->probeFinished(id, answered); });
}

ScanRun::~ScanRun()
{
    {
        QMutexLocker lock(&d->mailbox->mutex);
        d->mailbox->run = nullptr;
    }
    d->dropInFlight();
    d->lookupPool.waitForDone();
    delete d;
}

void ScanRun::start(const ScanOptions &options)
{
    if (d->running) {
        d->dropInFlight();
        d->running = false;
    }
    d->begin(options);
}

void ScanRun::requestStop()
{
    if (!d->running || d->stopRequested)
        return;
    d->stopRequested = true;
    if (!d->committing)
        d->end(true);
}

bool ScanRun::isRunning() const
{
    return d->running;
}

int ScanRun::lookupThreadCount()
{
    // Reverse lookups block in the C library; a few dozen threads keep a slow
    // DNS server busy enough without flooding it.
    return 32;
}
