// corvane-bench-soak: back-to-back scans through the main window, with names
// and the log on, printing after each the process's resident memory, open
// file descriptors and threads, so that a leak shows as a rising column.
//
//   corvane-bench-soak START STOP [RUNS]      (default 20 runs)
//
// Meant for the lab (see soak-scan.sh). Exits 1 when the open descriptors
// after the last run exceed those after the first, which only a leak explains.

#include "browserlauncher.h"
#include "dirlist.h"
#include "echoprober.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

struct Usage
{
    qint64 rssKiB = 0;
    qsizetype fds = 0;
    qint64 threads = 0;
};

Usage usageNow()
{
    Usage usage;
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 2 && fields[0] == "VmRSS:")
                usage.rssKiB = fields[1].toLongLong();
            else if (fields.size() >= 2 && fields[0] == "Threads:")
                usage.threads = fields[1].toLongLong();
        }
    }
    usage.fds = QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
    return usage;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: corvane-bench-soak START STOP [RUNS]\n");
        return 2;
    }
    const int runs = args.size() > 3 ? args[3].toInt() : 20;
    QTemporaryDir logs;
    if (!logs.isValid() || runs < 1)
        return 2;

    qputenv("CORVANE_CHECK_HOST", "localhost");
    const std::unique_ptr<SettingsStore> settings = createSystemSettingsStore();
    const std::unique_ptr<EchoProber> prober = createSystemEchoProber();
    const std::unique_ptr<HostResolver> resolver = createSystemHostResolver();
    const std::unique_ptr<BrowserLauncher> browser = createSystemBrowserLauncher();
    MainWindow form(*settings, *prober, *resolver, *browser);
    if (!form.startUp(QString())) {
        std::fprintf(stderr, "the window did not load\n");
        return 1;
    }
    child<DirList>(form, "folderTree")->setPath(logs.path());
    child<QCheckBox>(form, "logEnabledCheck")->setChecked(true);
    child<QCheckBox>(form, "overwriteCheck")->setChecked(true);
    child<QCheckBox>(form, "namesCheck")->setChecked(true);

    std::printf("%4s %9s %9s %6s %8s %6s\n", "run", "ms", "VmRSS KiB", "fds", "threads", "lines");
    Usage first;
    Usage last;
    for (int run = 1; run <= runs; ++run) {
        child<IpAddressEdit>(form, "startAddressEdit")->setText(args[1]);
        child<IpAddressEdit>(form, "stopAddressEdit")->setText(args[2]);
        QEventLoop loop;
        QObject::connect(&form, &MainWindow::runFinished, &loop, &QEventLoop::quit);
        // A run that never ends must not hang the benchmark.
        QTimer::singleShot(300000, &loop, [&loop] { loop.exit(1); });
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, &form, [&form] { child<QPushButton>(form, "startButton")->click(); });
        if (loop.exec() != 0) {
            std::fprintf(stderr, "run %d did not end within 5 minutes\n", run);
            return 1;
        }
        last = usageNow();
        if (run == 1)
            first = last;
        std::printf("%4d %9lld %9lld %6lld %8lld %6d\n", run, clock.elapsed(), last.rssKiB,
                    static_cast<long long>(last.fds), last.threads,
                    child<QListView>(form, "resultList")->model()->rowCount());
        std::fflush(stdout);
    }
    std::printf("after run 1 -> after run %d: VmRSS %+lld KiB, fds %+lld, threads %+lld\n", runs,
                last.rssKiB - first.rssKiB, static_cast<long long>(last.fds - first.fds),
                last.threads - first.threads);
    form.close();
    return last.fds > first.fds ? 1 : 0;
}
