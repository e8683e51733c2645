#pragma once

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
class IpAddressEdit;
class LookupDialogs;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class ResultListDelegate;
class ResultListModel;
class ScanSession;
class SettingsStore;
struct RunControls;

/// The main window: the controls of a range scan with its result list and
/// log file, and the buttons that open the reports, the lookups, the IP
/// Number List and the About box. The rules of a run live in ScanSession,
/// the kept values in MainWindowSettings; this class lays out and wires.
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

    bool isRunning() const;
    /// Where the time stamps of results come from.
    void setClock(std::function<QDateTime()> clock);
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

private slots:
    void startScan();
    void copyResults();
    void printResults();
    void showAbout();
    void showIpList();
    void changeDrive();
    void openResultInBrowser();
    void restoreFromTray();

private:
    void createControls();
    void placeControls();
    void setTabOrder();
    void wireControls();
    void wireSession();
    void applyWindowState();
    void restoreLogFolder(const QString &path);
    void applyRunControls(const RunControls &controls);
    void onRunFinished(const QString &logFailure);

    SettingsStore &m_settings;
    EchoProber &m_prober;
    HostResolver &m_resolver;
    BrowserLauncher &m_browser;
    ScanSession *m_session = nullptr;
    std::unique_ptr<LookupDialogs> m_lookups;
    DesktopIntegration *m_desktop = nullptr;
    ResultListDelegate *m_listDelegate = nullptr;
    std::function<QDateTime()> m_clock;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_firstShowDone = false;

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
    QListView *m_resultList = nullptr;
    ResultListModel *m_resultModel = nullptr;
};
