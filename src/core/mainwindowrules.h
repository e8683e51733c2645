#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <Qt>
#include <optional>

// Value rules of the main window that need no widgets: settings texts,
// the command line, the caption, result lines and the counter label.

/// Application name and section of every main-window setting.
QString settingsApplication();
QString settingsSection();

/// Result lines the list holds before it is emptied and started anew;
/// a /16 fits.
inline constexpr int kResultListCapacity = 65536;

/// Addresses in flight during a run, from the "Parallel" setting.
inline constexpr int kDefaultParallel = 256;
inline constexpr int kMaxParallel = 4096;

/// Reads a settings text as a 16-bit signed whole number: the whole text
/// must be a decimal number (spaces around it allowed); a fraction is
/// rounded to the nearest whole number, halves to the even one. Nothing
/// when the text is no number or the result does not fit in 16 bits.
std::optional<qint16> settingToInteger(const QString &text);

/// The check box state a stored "Enabled"/"Overwrite" text asks for:
/// 0 unchecked, 1 checked, 2 greyed; nothing for any other text.
std::optional<Qt::CheckState> checkStateFromSetting(const QString &text);

/// The text stored for a check box state: "0", "1" or "2".
QString checkStateSettingText(Qt::CheckState state);

/// Addresses in flight from the stored "Parallel" text: a whole number
/// from 1 to kMaxParallel, anything else gives kDefaultParallel.
int parallelFromSetting(const QString &text);

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

/// One line of the result list, fields separated by tabs.
QString resultListLine(bool pingMode, bool namesWanted, const QString &address, const QString &name,
                       const QString &timeStamp);

/// The counter label: the count with the locale's group separators, then
/// " pinged IP Numbers" (Ping mode) or " domain names".
QString counterLabelText(qint64 count, bool pingMode);

/// Twips (1440 per inch) to pixels at the given logical dots per inch.
int twipsToPixels(int twips, qreal logicalDpi);

/// Where text continues after a tab typed at pixel @p x: the first stop
/// beyond x; past the last stop the stops go on at the distance between
/// the last two (or the last stop's own width when there is one stop).
int nextTabStop(int x, const QList<int> &stops);
