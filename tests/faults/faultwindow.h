#pragma once

// The main window over the real services (settings file, ICMP prober, system
// resolver, browser launcher) as the program builds it, with the clock fixed
// so result lines compare whole; mounts that make writes fail even for root;
// and main() of the fault tests.

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
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

struct FaultWindow
{
    std::unique_ptr<SettingsStore> settings{createSystemSettingsStore()};
    std::unique_ptr<EchoProber> prober{createSystemEchoProber()};
    std::unique_ptr<HostResolver> resolver{createSystemHostResolver()};
    std::unique_ptr<BrowserLauncher> browser{createSystemBrowserLauncher()};
    std::unique_ptr<MainWindow> form;

    /// Creates and loads the window (empty command line): false when it did not open.
    bool open()
    {
        qputenv("CORVANE_CHECK_HOST", "localhost"); // the start-up check stays on this machine
        form = std::make_unique<MainWindow>(*settings, *prober, *resolver, *browser);
        form->setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        return form->startUp(QString()) && QTest::qWaitForWindowActive(form.get());
    }
    template<class T = QPushButton>
    T *get(const char *name) const
    {
        return child<T>(form, name);
    }
    void setRange(const QString &start, const QString &stop)
    {
        get<IpAddressEdit>("startAddressEdit")->setText(start);
        get<IpAddressEdit>("stopAddressEdit")->setText(stop);
    }
    /// The log goes to @p folder/ipnums.txt.
    bool setLog(const QString &folder, bool overwrite)
    {
        get<QLineEdit>("logFileEdit")->setText(u"ipnums.txt"_s);
        get<QCheckBox>("logEnabledCheck")->setChecked(true);
        get<QCheckBox>("overwriteCheck")->setChecked(overwrite);
        return get<DirList>("folderTree")->setPath(folder);
    }
    /// Clicks @p button and waits for the run it starts to end.
    bool run(const char *button = "startButton", int timeoutMs = 60000)
    {
        QSignalSpy finished(form.get(), &MainWindow::runFinished);
        if (!get(button)->isEnabled())
            return false;
        QTest::mouseClick(get(button), Qt::LeftButton);
        return !finished.isEmpty() || finished.wait(timeoutMs);
    }
    QStringList lines() const
    {
        const QAbstractItemModel *model = get<QListView>("resultList")->model();
        QStringList result;
        for (int row = 0; row < model->rowCount(); ++row)
            result.append(model->index(row, 0).data().toString());
        return result;
    }
    QString counter() const { return get<QLabel>("statusLabel")->text(); }
    void close()
    {
        if (form)
            form->close();
        form.reset();
    }
};

inline const QString kStamp = u"12/05/26 03:26:08 pm"_s;

/// The list lines of a Ping run over @p addresses, with the @p names when given.
inline QStringList pingLines(const QStringList &addresses, const QStringList &names = {})
{
    QStringList result;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        result.append(addresses[i] + u'\t' + (names.isEmpty() ? QString() : names[i] + u'\t') +
                      kStamp);
    return result;
}

/// The log of a Ping run: address, three spaces, name, three spaces, stamp, CR LF.
inline QByteArray pingLog(const QStringList &addresses, const QStringList &names = {})
{
    QByteArray result;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        result += (addresses[i] + u"   "_s + names.value(i) + u"   "_s + kStamp).toUtf8() + "\r\n";
    return result;
}

/// Root writes through permissions: a read-only bind mount of @p path, or a
/// small tmpfs over it, makes writes fail. What went wrong, or nothing.
inline QString mountOver(const QString &path, bool readOnly)
{
    const QByteArray native = QFile::encodeName(path);
    const char *p = native.constData();
    const bool failed =
        readOnly ? mount(p, p, nullptr, MS_BIND, nullptr) != 0 ||
                       mount(nullptr, p, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0
                 : mount("corvane-faults", p, "tmpfs", 0, "size=8k") != 0;
    return failed ? path + u": "_s + QString::fromLocal8Bit(std::strerror(errno)) : QString();
}

/// main() of a fault test: as root, a mount namespace of its own first (before
/// any thread starts); a private settings folder; then @p Test under a
/// QApplication in the locale whose separators the result lines carry.
template<class Test>
int runFaultTest(int argc, char **argv)
{
    if (geteuid() == 0 && (unshare(CLONE_NEWNS) != 0 ||
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
        std::perror("a private mount namespace");
        return 1;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Test test;
    return QTest::qExec(&test, argc, argv);
}
