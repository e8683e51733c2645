#pragma once

#include <QString>
#include <QStringList>

// Start-up rules of the main window that need no widgets: the command line,
// the caption, the host of the network check, and the unit of the layout.

/// The command-line text: the arguments after the program's name, joined
/// by spaces.
QString joinCommandLine(const QStringList &argumentsAfterProgram);

/// True when the command line asks for a scan at start: its text, without
/// the spaces around it, is neither empty nor exactly "/p".
bool commandLineStartsScan(const QString &commandLine);

/// "Corvane", 12 spaces, "Your IP Number is " and the own address, or
/// "N/A" when there is none.
QString windowCaption(const QString &ownIpNumber);

/// The host name the start-up check resolves: $CORVANE_CHECK_HOST when
/// set and not empty, else a well-known public name.
QString networkCheckHostName();

/// Twips (1440 per inch) to pixels at the given logical dots per inch.
int twipsToPixels(int twips, qreal logicalDpi);
