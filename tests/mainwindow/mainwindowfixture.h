#pragma once

// The main window as the program builds it, over a private settings file, a
// stand-in browser noting its arguments in browserRecord() and a fixed clock;
// fake or system prober and resolver.

#include "browserlauncher.h"
#include "dirlist.h"
#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "ipaddressedit.h"
#include "ipv4address.h"
#include "mainwindow.h"
#include "qsettingsstore.h"
#include "testfiles.h"
#include "widgetlookup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

inline const QString kStamp = u"12/05/26 03:26:08 pm"_s;

class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + u"/config"));
        qputenv("CORVANE_CHECK_HOST", "localhost"); // the start-up check stays on this machine
        const QString browser = m_dir.path() + u"/browser.sh";
        writeFile(browser, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" +
                               QFile::encodeName(browserRecord()) + "\"\n");
        QFile::setPermissions(browser, QFile::ReadOwner | QFile::ExeOwner);
        qputenv("BROWSER", QFile::encodeName(browser));
        m_browser = createSystemBrowserLauncher();
        reset();
    }

    // A fresh window and fake parts over an empty settings file.
    void reset()
    {
        window.reset();
        prober = std::make_unique<FakeEchoProber>();
        resolver = std::make_unique<FakeHostResolver>();
        resolver->forward.insert(u"localhost"_s, u"127.0.0.1"_s);
        QFile::remove(QSettingsStore::fileName(u"Corvane"_s));
        QFile::remove(browserRecord());
        settings = std::make_unique<QSettingsStore>();
    }

    enum Parts { Fakes, SystemParts };
    bool open(Parts parts = Fakes)
    {
        if (parts == SystemParts && !systemProber) {
            systemProber = createSystemEchoProber();
            systemResolver = createSystemHostResolver();
        }
        const bool fakes = parts == Fakes;
        window = std::make_unique<MainWindow>(*settings, fakes ? *prober : *systemProber,
                                              fakes ? *resolver : *systemResolver, *m_browser);
        window->setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        return window->startUp(QString()) && QTest::qWaitForWindowActive(window.get());
    }

    template<typename T = QAbstractButton>
    T *ui(const char *name) const
    {
        return child<T>(window, name);
    }
    void setRange(const QString &start, const QString &stop)
    {
        ui<IpAddressEdit>("startAddressEdit")->setText(start);
        ui<IpAddressEdit>("stopAddressEdit")->setText(stop);
    }
    // Every address from @p start to @p stop answers the fake prober.
    void answerAll(const QString &start, const QString &stop)
    {
        for (quint32 a = *parseIPv4Address(start); a <= *parseIPv4Address(stop); ++a)
            prober->answering.insert(a);
        setRange(start, stop);
    }
    bool setLog(const QString &folder, bool overwrite)
    {
        ui<QLineEdit>("logFileEdit")->setText(u"ipnums.txt"_s);
        ui<QCheckBox>("logEnabledCheck")->setChecked(true);
        ui<QCheckBox>("overwriteCheck")->setChecked(overwrite);
        return ui<DirList>("folderTree")->setPath(folder);
    }
    bool run(const char *button = "startButton")
    {
        QSignalSpy finished(window.get(), &MainWindow::runFinished);
        if (!ui(button)->isEnabled())
            return false;
        QTest::mouseClick(ui(button), Qt::LeftButton);
        return !finished.isEmpty() || finished.wait(30000);
    }
    QStringList lines() const
    {
        const QAbstractItemModel *model = ui<QListView>("resultList")->model();
        QStringList result;
        for (int row = 0; row < model->rowCount(); ++row)
            result.append(model->index(row, 0).data().toString());
        return result;
    }
    QString counter() const { return ui<QLabel>("statusLabel")->text(); }

    static QString stored(const QString &key)
    {
        return QSettingsStore().readSetting(u"Corvane"_s, u"Options"_s, key, u"<missing>"_s);
    }
    void store(const QString &key, const QString &value)
    {
        settings->writeSetting(u"Corvane"_s, u"Options"_s, key, value);
        settings->flush();
    }

    QString path() const { return m_dir.path(); }
    QString browserRecord() const { return m_dir.path() + u"/browser-args"; }

    std::unique_ptr<FakeEchoProber> prober;
    std::unique_ptr<FakeHostResolver> resolver;
    std::unique_ptr<EchoProber> systemProber;
    std::unique_ptr<HostResolver> systemResolver;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<MainWindow> window;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<BrowserLauncher> m_browser;
};

// The list lines and the log of a Ping run over @p addresses, with the @p names when given.
inline QStringList pingLines(const QStringList &addresses, const QStringList &names = {})
{
    QStringList result;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        result.append(addresses[i] + u'\t' + (names.isEmpty() ? QString() : names[i] + u'\t') +
                      kStamp);
    return result;
}
inline QByteArray pingLog(const QStringList &addresses, const QStringList &names = {})
{
    QByteArray result;
    for (qsizetype i = 0; i < addresses.size(); ++i)
        result += (addresses[i] + u"   "_s + names.value(i) + u"   "_s + kStamp).toUtf8() + "\r\n";
    return result;
}

// main(): as root a mount namespace of its own before any thread starts, then
// @p Test in the locale whose separators the result lines carry.
template<class Test>
int runInOwnMounts(int argc, char **argv)
{
    if (geteuid() == 0 && (unshare(CLONE_NEWNS) != 0 ||
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
        std::perror("a private mount namespace");
        return 1;
    }
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Test test;
    return QTest::qExec(&test, argc, argv);
}
