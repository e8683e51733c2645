#include "appicon.h"
#include "browserlauncher.h"
#include "echoprober.h"
#include "hostresolver.h"
#include "mainwindow.h"
#include "mainwindowrules.h"
#include "settingsstore.h"
#include "terminationsignals.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Corvane"_s);
    QApplication::setWindowIcon(corvaneIcon());
    // The program ends when the main window's close sequence has run, not when
    // its last visible window closes: the window may be hidden in the tray
    // while a message box closes.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::unique_ptr<SettingsStore> settings = createSystemSettingsStore();
    const std::unique_ptr<EchoProber> prober = createSystemEchoProber();
    const std::unique_ptr<HostResolver> resolver = createSystemHostResolver();
    const std::unique_ptr<BrowserLauncher> browser = createSystemBrowserLauncher();

    MainWindow form(*settings, *prober, *resolver, *browser);
    QObject::connect(&form, &MainWindow::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Being told to end (by the session, systemd, kill or Ctrl+C) closes the
    // window as the Exit button does, so the settings are kept.
    const TerminationSignals endRequests;
    QObject::connect(&endRequests, &TerminationSignals::received, &form, [&form] { form.close(); });
    if (!form.startUp(joinCommandLine(QApplication::arguments().mid(1))))
        return 0;
    return QApplication::exec();
}
