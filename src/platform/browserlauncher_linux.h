#pragma once

#include "browserlauncher.h"

#include <QProcessEnvironment>
#include <QStringList>
#include <optional>

/// Finds the browser the way Linux desktops do: the BROWSER variable (a
/// colon-separated list of commands, %s standing for the target; the first
/// whose program exists wins), then the XDG default web browser (asked from
/// xdg-settings, then xdg-mime; its desktop file's Exec line), then Debian's
/// x-www-browser and sensible-browser. Everything is started directly, never
/// through a shell.
class LinuxBrowserLauncher : public BrowserLauncher
{
public:
    struct Command
    {
        QString program; ///< the path of the program to start
        QStringList arguments;
        QProcessEnvironment environment;
    };

    /// The browser is looked up in @p environment (PATH, BROWSER, HOME and the
    /// XDG variables) and started with it.
    explicit LinuxBrowserLauncher(
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    LaunchResult launch(const QString &target) override;

    /// The command that would open @p target; nothing when no browser is found.
    std::optional<Command> findBrowser(const QString &target) const;

    /// How long xdg-settings or xdg-mime may take to answer (milliseconds).
    void setQueryTimeout(int milliseconds) { m_queryTimeoutMs = milliseconds; }

private:
    std::optional<Command> fromBrowserVariable(const QString &target) const;
    std::optional<Command> fromXdgDefault(const QString &target) const;
    std::optional<Command> fromDebianAlternatives(const QString &target) const;
    QString findProgram(const QString &name) const;
    QString queryDesktopId(const QString &tool, const QStringList &arguments) const;
    QString findDesktopFile(const QString &desktopId) const;
    QStringList dataDirs() const;

    QProcessEnvironment m_environment;
    int m_queryTimeoutMs = 5000;
};
