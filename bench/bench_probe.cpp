// What an echo probe costs:
//   corvane-bench-probe [--pings N] [--range N]
//
// 1. N probes of 127.0.0.1 one after the other (default 2000): time per probe.
// 2. The prober over the first N addresses of 127.1.0.0 (default 1024, all
//    answering) with 1 to N probes in flight: wall time, probes per second,
//    CPU time.
// 3. Inside the network lab (tests/lab/run-in-lab.sh corvane-bench-probe), the
//    same over silent lab hosts with the 200 ms time-out every caller uses.
// Only loopback and lab addresses are ever probed.
#include "icmpechoprober_linux.h"
#include "ipv4address.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Ttl = 128;
constexpr int TimeoutMs = 200;

double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double percentile(QList<double> sorted, double p)
{
    if (sorted.isEmpty())
        return 0;
    const auto index = static_cast<qsizetype>(p / 100.0 * double(sorted.size() - 1) + 0.5);
    return sorted.at(std::clamp<qsizetype>(index, 0, sorted.size() - 1));
}

void benchOneAtATime(int count)
{
    QList<double> times;
    times.reserve(count);
    int answered = 0;
    IcmpEchoProber prober;
    QEventLoop loop;
    QObject::connect(&prober, &EchoProber::finished, &loop, [&](EchoProber::ProbeId, bool ok) {
        answered += ok ? 1 : 0;
        loop.quit();
    });
    const double cpuBefore = cpuMilliseconds();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        prober.probe(0x7f000001u, Ttl, TimeoutMs);
        loop.exec();
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    const double cpu = cpuMilliseconds() - cpuBefore;
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (const double t : std::as_const(times))
        sum += t;
    std::printf("probe(127.0.0.1, 128, 200), one at a time, x %d: %d answered\n", count, answered);
    std::printf("  per probe: mean %.3f ms, p50 %.3f, p90 %.3f, p99 %.3f, max %.3f ms; "
                "CPU %.3f ms per probe\n\n",
                sum / count, percentile(times, 50), percentile(times, 90), percentile(times, 99),
                times.last(), cpu / count);
}

struct WindowRun
{
    double wallMs = 0;
    double cpuMs = 0;
    int answered = 0;
    int finished = 0;
};

// Keeps @p window probes in flight until every target has been probed once.
WindowRun runWindow(const QList<quint32> &targets, int window)
{
    IcmpEchoProber prober;
    WindowRun run;
    const auto total = static_cast<int>(targets.size());
    int next = 0;
    QEventLoop loop;
    QObject::connect(&prober, &EchoProber::finished, &loop, [&](EchoProber::ProbeId, bool ok) {
        ++run.finished;
        run.answered += ok ? 1 : 0;
        if (next < total)
            prober.probe(targets.at(next++), Ttl, TimeoutMs);
        if (run.finished == total)
            loop.quit();
    });
    // However the run goes, it ends.
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);

    const double cpuBefore = cpuMilliseconds();
    QElapsedTimer clock;
    clock.start();
    while (next < std::min(window, total))
        prober.probe(targets.at(next++), Ttl, TimeoutMs);
    loop.exec();
    run.wallMs = double(clock.nsecsElapsed()) / 1e6;
    run.cpuMs = cpuMilliseconds() - cpuBefore;
    return run;
}

void benchWindows(const char *title, const QList<quint32> &targets, const QList<int> &windows)
{
    std::printf("%s: %lld probes, time-out %d ms\n", title, static_cast<long long>(targets.size()),
                TimeoutMs);
    std::printf("  %8s %12s %12s %12s %10s\n", "in flight", "wall ms", "probes/s", "CPU ms",
                "answered");
    for (const int window : windows) {
        const WindowRun run = runWindow(targets, window);
        std::printf("  %8d %12.1f %12.0f %12.1f %10d%s\n", window, run.wallMs,
                    run.finished / (run.wallMs / 1e3), run.cpuMs, run.answered,
                    run.finished < targets.size() ? "  (INCOMPLETE)" : "");
    }
    std::printf("\n");
}

int argument(const QStringList &args, const QString &name, int fallback, int low, int high)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return fallback;
    bool ok = false;
    const int value = args.at(at + 1).toInt(&ok);
    return ok ? std::clamp(value, low, high) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    {
        IcmpEchoProber prober;
        if (!prober.isAvailable()) {
            std::fprintf(stderr, "%s\n", qPrintable(prober.unavailableReason()));
            return 1;
        }
        std::printf("socket: %s\n\n",
                    prober.socketKind() == IcmpSocket::Kind::Raw ? "raw ICMP" : "ICMP datagram");
    }

    benchOneAtATime(argument(args, u"--pings"_s, 2000, 1, 100000));

    const int range = argument(args, u"--range"_s, 1024, 1, 65536);
    QList<quint32> loopback;
    for (int i = 0; i < range; ++i)
        loopback.append(0x7f010000u + static_cast<quint32>(i));
    QList<int> windows{1, 16, 256, 1024, 4096};
    windows.erase(std::remove_if(windows.begin(), windows.end(), [&](int w) { return w > range; }),
                  windows.end());
    benchWindows("Prober over 127.1.0.0 upward (all answer)", loopback, windows);

    if (!qEnvironmentVariableIsEmpty("CORVANE_LAB_SILENT")) {
        const auto net =
            parseIPv4Address(qEnvironmentVariable("CORVANE_LAB_NET").section(u'/', 0, 0));
        QList<quint32> silent;
        // Hosts 100 to 255 of the lab net never answer; go round them.
        for (int i = 0; net && i < 1024; ++i)
            silent.append(*net + 100 + static_cast<quint32>(i % 156));
        benchWindows("Prober over silent lab hosts", silent, {64, 256, 1024});
    }
    return 0;
}
