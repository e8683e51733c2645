#pragma once

#include <QString>

class BrowserLauncher;
class QWidget;

/// The web site that the About box offers to open.
QString corvaneWebSite();

/// The About box's text: version, credits, what Corvane does and how to reach
/// its makers, lines joined by CR LF.
QString aboutBoxText();

/// Shows the About box, then asks whether to open the web site and opens it
/// on Yes.
void showAboutBox(QWidget *parent, BrowserLauncher &launcher);
