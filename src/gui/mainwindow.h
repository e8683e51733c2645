#pragma once

#include "scanlog.h"

#include <QDateTime>
#include <QWidget>
#include <functional>
#include <memory>

class BrowserLauncher;
class DesktopIntegration;
class DirList;
class DriveList;
class EchoProber;
class HostResolver;
class LookupDialogs;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimer;
class ResultListDelegate;
class ScanRun;
class SettingsStore;
class IpAddressEdit;

/// The main window: the range scan with its result list and log file, the
/// settings it restores at start and saves at close, and the buttons that
/// open the reports, the lookups, the IP Number List and the About box.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    MainWindow(SettingsStore &settings, EchoProber &prober, HostResolver &resolver,
               BrowserLauncher &browser, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The start-up sequence. False when name resolution does not work: the
    /// user has been told, and the program is to end without showing the
    /// window or writing any setting. @p commandLine is the program's
    /// arguments joined by spaces.
    bool startUp(const QString &commandLine);
    /// The close sequence: removes the tray icon and writes the settings back.
    /// Runs once, whatever closes the window.
    void shutDown();

    void startScan();
    void stopScan();
    void resumeScan();
    void exitProgram();
    void copyResults();
    void printResults();
    void showAbout();
    void showIpList();
    void findAddress();
    void findName();
    void choosePingMode();
    void chooseDomainMode();
    void changeDrive();
    void openResultInBrowser();
    void applyWindowState();
    void restoreFromTray();

    bool isRunning() const { return m_running; }
    /// Addresses a run keeps in flight, from the "Parallel" setting.
    int parallel() const { return m_parallel; }
    /// Lines the result list holds before it starts anew.
    int resultListCapacity() const { return m_resultListCapacity; }
    void setResultListCapacity(int lines);
    /// Where the time stamps of results come from.
    void setClock(std::function<QDateTime()> clock);

    // Set by Stop; cleared when the focus comes onto Start and early in
    // every run. A run that starts with it set resumes the last one.
    bool m_stopRequested = false;
    // Lines the current run, or the run it resumed, has added.
    qint64 m_resultCount = 0;

    IpAddressEdit *m_startAddressEdit = nullptr;
    IpAddressEdit *m_stopAddressEdit = nullptr;
    QLabel *m_startLabel = nullptr;
    QLabel *m_stopLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QRadioButton *m_pingModeButton = nullptr;
    QRadioButton *m_domainModeButton = nullptr;
    QCheckBox *m_logEnabledCheck = nullptr;
    QCheckBox *m_overwriteCheck = nullptr;
    QCheckBox *m_namesCheck = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_resumeButton = nullptr;
    QPushButton *m_exitButton = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_printButton = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QPushButton *m_listButton = nullptr;
    QPushButton *m_findAddressButton = nullptr;
    QPushButton *m_findNameButton = nullptr;
    QGroupBox *m_logGroup = nullptr;
    DriveList *m_driveCombo = nullptr;
    DirList *m_folderTree = nullptr;
    QLineEdit *m_logFileEdit = nullptr;
    QListWidget *m_resultList = nullptr;
    DesktopIntegration *desktopIntegration() const { return m_desktop; }

signals:
    /// A run has ended and the window is ready for the next one.
    void runFinished();
    /// The close sequence has run; the program may end.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void placeControls();
    void setTabOrder();
    void wireControls();
    void restoreLogFolder(const QString &path);
    void setRunControlsEnabled(bool enabled);
    void enableEveryControl();
    void onCurrentAddressChanged(const QString &ipNumberText);
    void onResultReady(const QString &ipNumberText, const QString &name);
    void addResult(const QString &line);
    void showPendingLines();
    // @p tellLogFailure: false when the window is closing, with no list left
    // to point the user to.
    void finishRun(bool tellLogFailure = true);
    void onStartButtonFocused();
    QStringList resultLines() const;
    QString readSetting(const QString &key, const QString &defaultValue);
    void writeSetting(const QString &key, const QString &value);

    SettingsStore &m_settings;
    EchoProber &m_prober;
    HostResolver &m_resolver;
    BrowserLauncher &m_browser;
    ScanRun *m_scanRun = nullptr;
    ScanLog m_log;
    ResultListDelegate *m_listDelegate = nullptr;
    QTimer *m_showPendingLines = nullptr;
    QStringList m_pendingLines;
    std::unique_ptr<LookupDialogs> m_lookups;
    DesktopIntegration *m_desktop = nullptr;
    std::function<QDateTime()> m_clock;

    int m_parallel;
    int m_resultListCapacity;
    bool m_running = false;
    bool m_pingMode = true;
    bool m_namesWanted = false;
    bool m_loggingOn = false;
    // The run's own enabling and disabling moves the focus around; that must
    // not count as the user coming onto Start.
    bool m_changingRunControls = false;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_firstShowDone = false;
};
