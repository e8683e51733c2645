// How long the IP Number List window takes to open and to refresh when every
// one of its 100 rows holds an address that never answers:
//   corvane-bench-iplist [--runs N]
//
// Runs inside the network lab (tests/lab/run-in-lab.sh corvane-bench-iplist),
// whose hosts net drops every echo request outside its answering and refused
// blocks; only those lab addresses are probed. Each run builds the window from
// a real settings file, as the List button does, then refreshes it once (F5).
// A row costs nothing extra: the window should open in about one 200 ms time-out.
#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplistsettings.h"
#include "iplistwindow.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The lab's hosts net (a.b.c.0/24 or wider): offsets 100 to 199 lie in none
// of its answering or refused blocks, so every request there is dropped.
QStringList silentAddresses(const QString &net, int count)
{
    const QString base = net.section(u'/', 0, 0);
    const QStringList octets = base.split(u'.');
    if (octets.size() != 4)
        return {};
    QStringList addresses;
    for (int i = 0; i < count; ++i)
        addresses << u"%1.%2.%3.%4"_s.arg(octets.at(0), octets.at(1), octets.at(2)).arg(100 + i);
    return addresses;
}

void report(const char *what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s runs %3lld   min %8.1f ms   median %8.1f ms   max %8.1f ms\n", what,
                static_cast<long long>(ms.size()), ms.first(), ms.at(ms.size() / 2), ms.last());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    // A settings file of its own, never the user's.
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);

    int runs = 5;
    const QStringList arguments = QApplication::arguments();
    if (const qsizetype at = arguments.indexOf(u"--runs"_s); at >= 0 && at + 1 < arguments.size())
        runs = std::max(1, arguments.at(at + 1).toInt());

    const QString net = qEnvironmentVariable("CORVANE_LAB_NET");
    const QStringList silent = silentAddresses(net, kIpListSlotCount);
    if (silent.isEmpty()) {
        std::fprintf(stderr, "corvane-bench-iplist probes lab hosts only: run it through "
                             "tests/lab/run-in-lab.sh\n");
        return 77;
    }

    const auto prober = createSystemEchoProber();
    if (!prober->isAvailable()) {
        std::fprintf(stderr, "%s\n", qPrintable(prober->unavailableReason()));
        return 1;
    }
    {
        const auto store = createSystemSettingsStore();
        QList<IpListEntry> rows;
        for (const QString &address : silent)
            rows.append({address, u"silent host"_s});
        if (!saveIpList(*store, rows)) {
            std::fprintf(stderr, "%s\n", qPrintable(store->lastError()));
            return 1;
        }
    }

    QList<double> opening;
    QList<double> refreshing;
    int marks = 0;
    for (int run = 0; run < runs; ++run) {
        const auto store = createSystemSettingsStore();
        QElapsedTimer clock;
        clock.start();
        IpListWindow form(*store, *prober);
        opening.append(double(clock.nsecsElapsed()) / 1e6);

        form.show();
        QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
        clock.restart();
        QApplication::sendEvent(child<QLineEdit>(form, "cellEditor"), &f5);
        refreshing.append(double(clock.nsecsElapsed()) / 1e6);
        for (int row = 0; row < child<IpListGrid>(form, "grid")->rowCount(); ++row)
            marks +=
                child<IpListGrid>(form, "grid")->cellText(row, kMarkerColumn).isEmpty() ? 0 : 1;
        form.reject();
    }

    std::printf("IP Number List with %lld silent rows (time-out 200 ms per probe)\n",
                static_cast<long long>(silent.size()));
    report("opening (load + probe)", opening);
    report("refresh (F5)", refreshing);
    std::printf("one row after another would take %lld ms\n",
                static_cast<long long>(silent.size()) * 200);
    // A mark here means the lab let a request through: the figures are void.
    if (marks != 0) {
        std::fprintf(stderr, "%d rows answered, none should have\n", marks);
        return 1;
    }
    return 0;
}
