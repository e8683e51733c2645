#pragma once

#include "browserlauncher.h"
#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "mainwindow.h"
#include "qsettingsstore.h"
#include "testfiles.h"
#include "widgetlookup.h"

#include <QAbstractButton>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A main window over a settings file in a private folder, a prober and a
// resolver the test chooses (localhost resolves), and a stand-in browser
// that notes its arguments in browserRecord().
class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + u"/config"));
        qputenv("CORVANE_CHECK_HOST", "localhost");
        const QString browser = m_dir.path() + u"/browser.sh";
        writeFile(browser, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" +
                               QFile::encodeName(browserRecord()) + "\"\n");
        QFile::setPermissions(browser, QFile::ReadOwner | QFile::ExeOwner);
        qputenv("BROWSER", QFile::encodeName(browser));
        m_browser = createSystemBrowserLauncher();
    }

    // A fresh window and fake parts over an empty settings file, unless kept.
    void reset(bool keepSettings = false)
    {
        window.reset();
        prober = std::make_unique<FakeEchoProber>();
        resolver = std::make_unique<FakeHostResolver>();
        resolver->forward.insert(QStringLiteral("localhost"), QStringLiteral("127.0.0.1"));
        if (!keepSettings)
            QFile::remove(QSettingsStore::fileName(QStringLiteral("Corvane")));
        QFile::remove(browserRecord());
        settings = std::make_unique<QSettingsStore>();
    }

    // Opens the window as the program does, with the real prober if given.
    bool open(const QString &commandLine = QString(), EchoProber *realProber = nullptr)
    {
        window = std::make_unique<MainWindow>(*settings, realProber ? *realProber : *prober,
                                              *resolver, *m_browser);
        window->setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(15, 26, 8)); });
        return window->startUp(commandLine) && QTest::qWaitForWindowActive(window.get());
    }

    template<typename T>
    T *ui(const char *name) const
    {
        return child<T>(window, name);
    }

    void clickAndWait(const char *button)
    {
        QSignalSpy finished(window.get(), &MainWindow::runFinished);
        QTest::mouseClick(ui<QAbstractButton>(button), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    }

    QStringList lines() const
    {
        const QAbstractItemModel *model = ui<QListView>("resultList")->model();
        QStringList result;
        for (int row = 0; row < model->rowCount(); ++row)
            result.append(model->index(row, 0).data().toString());
        return result;
    }

    static QString stored(const QString &key)
    {
        return QSettingsStore().readSetting(QStringLiteral("Corvane"), QStringLiteral("Options"),
                                            key, QStringLiteral("<missing>"));
    }
    void store(const QString &key, const QString &value)
    {
        settings->writeSetting(QStringLiteral("Corvane"), QStringLiteral("Options"), key, value);
        settings->flush();
    }

    QString path() const { return m_dir.path(); }
    QString browserRecord() const { return m_dir.path() + u"/browser-args"; }

    std::unique_ptr<FakeEchoProber> prober;
    std::unique_ptr<FakeHostResolver> resolver;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<MainWindow> window;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<BrowserLauncher> m_browser;
};
