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
class ccrpIPAddress;

/// The main window: the range scan with its result list and log file, the
/// settings it restores at start and saves at close, and the buttons that
/// open the reports, the lookups, the IP Number List and the About box.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    Form1(SettingsStore &settings, EchoProber &prober, HostResolver &resolver,
          BrowserLauncher &browser, QWidget *parent = nullptr);
    ~Form1() override;

    /// The start-up sequence. False when name resolution does not work: the
    /// user has been told, and the program is to end without showing the
    /// window or writing any setting. @p commandLine is the program's
    /// arguments joined by spaces.
    bool Form_Load(const QString &commandLine);
    /// The close sequence: removes the tray icon and writes the settings back.
    /// Runs once, whatever closes the window.
    void Form_Unload();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command9_Click();
    void Command11_Click();
    void Command12_Click();
    void Option1_Click();
    void Option2_Click();
    void Drive1_Change();
    void List1_DblClick();
    void Form_Resize();
    void RestoreFromTray();

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
    bool StopRequested = false;
    // Lines the current run, or the run it resumed, has added.
    qint64 ResultCount = 0;

    ccrpIPAddress *IP = nullptr;
    ccrpIPAddress *IP2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command9 = nullptr;
    QPushButton *Command11 = nullptr;
    QPushButton *Command12 = nullptr;
    QGroupBox *Frame1 = nullptr;
    DriveList *Drive1 = nullptr;
    DirList *Dir1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QListWidget *List1 = nullptr;
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
    void RecordResult(const QString &line);
    void showPendingLines();
    // @p tellLogFailure: false when the window is closing, with no list left
    // to point the user to.
    void RunEnd(bool tellLogFailure = true);
    void Command1_GotFocus();
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
