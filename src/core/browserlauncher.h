#pragma once

#include <QString>
#include <memory>

/// Opens a web target (a domain name or a web address) in the user's browser.
class BrowserLauncher
{
public:
    enum class LaunchResult {
        Started,    ///< a browser was found and started with the target
        NoBrowser,  ///< no browser could be found
        NotStarted, ///< a browser was found but could not be started with this target
    };

    virtual ~BrowserLauncher() = default;

    /// Starts the browser with @p target as its one argument and returns at
    /// once; the browser is not waited for. Never passes the target through a
    /// shell.
    virtual LaunchResult launch(const QString &target) = 0;
};

/// The desktop's own way of finding the browser (on Linux: $BROWSER, the
/// XDG default web browser, then Debian's alternatives).
std::unique_ptr<BrowserLauncher> createSystemBrowserLauncher();
