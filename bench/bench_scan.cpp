// One scan through the real engine into the main window's result list:
//   corvane-bench-scan <start> <stop> <parallel>
// Run it under corvane-measure (bench/bench-scan.sh does) for time and memory.
#include "browserlauncher.h"
#include "echoprober.h"
#include "hostresolver.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Corvane"_s);
    const QStringList args = QApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: corvane-bench-scan <start> <stop> <parallel>\n");
        return 2;
    }

    const std::unique_ptr<SettingsStore> settings = createSystemSettingsStore();
    const QString app_ = u"Corvane"_s;
    const QString section = u"Options"_s;
    settings->writeSetting(app_, section, u"Start"_s, args.at(1));
    settings->writeSetting(app_, section, u"Stop"_s, args.at(2));
    settings->writeSetting(app_, section, u"Parallel"_s, args.at(3));
    settings->writeSetting(app_, section, u"Enabled"_s, u"0"_s);
    settings->flush();

    const std::unique_ptr<EchoProber> prober = createSystemEchoProber();
    if (!prober->isAvailable()) {
        std::fprintf(stderr, "%s\n", qPrintable(prober->unavailableReason()));
        return 1;
    }
    const std::unique_ptr<HostResolver> resolver = createSystemHostResolver();
    const std::unique_ptr<BrowserLauncher> browser = createSystemBrowserLauncher();
    MainWindow form(*settings, *prober, *resolver, *browser);
    if (!form.startUp(QString()))
        return 1;

    QEventLoop loop;
    QObject::connect(&form, &MainWindow::runFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30 * 60 * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    child<QPushButton>(form, "startButton")->click();
    loop.exec();
    std::printf("  %d result lines in %.3f s (scan only)\n",
                child<QListView>(form, "resultList")->model()->rowCount(),
                static_cast<double>(timer.nsecsElapsed()) / 1e9);
    return form.isRunning() ? 1 : 0;
}
