#pragma once

#include <QString>

class BrowserLauncher;
class QWidget;

/// Opens @p target in the browser; when that fails, tells the user in a
/// warning box over @p parent ("Could not find associated browser." or
/// "Web page not opened.").
void launchBrowser(const QString &target, QWidget *parent, BrowserLauncher &launcher);

/// The double-click on a result line: while the result list's tooltip is not
/// empty (the lines carry domain names), opens the domain column of
/// @p currentLine; otherwise does nothing.
void handleResultDoubleClick(const QString &listToolTip, const QString &currentLine,
                             QWidget *parent, BrowserLauncher &launcher);
