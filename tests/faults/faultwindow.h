#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>

class BrowserLauncher;
class EchoProber;
class MainWindow;
class HostResolver;
class QAbstractButton;
class SettingsStore;

/// The main window over the real services (settings file, ICMP prober,
/// system resolver, browser launcher), as the program builds it, with the
/// clock fixed so result lines can be compared whole.
class FaultWindow
{
public:
    static const QDateTime Now;
    static const QString Stamp; ///< Now as the result lines show it

    FaultWindow();
    ~FaultWindow();
    FaultWindow(const FaultWindow &) = delete;
    FaultWindow &operator=(const FaultWindow &) = delete;

    /// Creates and loads the window (empty command line) and waits until it
    /// is active. False, with the reason in @p why, when it did not open.
    bool open(QString *why);
    MainWindow *form() const { return m_form.get(); }
    SettingsStore &settings() { return *m_settings; }
    EchoProber &prober() { return *m_prober; }

    /// The log goes to @p folder/ipnums.txt, with Enabled and Overwrite as given.
    bool setLog(const QString &folder, bool enabled, bool overwrite);
    bool setRange(const QString &start, const QString &stop);
    /// Clicks @p button and waits (up to @p timeoutMs) for the run to end.
    bool clickAndWaitForEnd(QAbstractButton *button, int timeoutMs = 60000);
    QStringList lines() const;
    /// Closes the window, which runs the close sequence, and destroys it.
    void closeAndDestroy();

    /// "address TAB stamp", or "address TAB name TAB stamp" when @p name is not null.
    static QString pingLine(const QString &address, const QString &name = QString());
    /// The log line of a Ping run: address, three spaces, name, three spaces, stamp, CR LF.
    static QByteArray pingLogLine(const QString &address, const QString &name = QString());

private:
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<HostResolver> m_resolver;
    std::unique_ptr<BrowserLauncher> m_browser;
    std::unique_ptr<MainWindow> m_form;
};
