#pragma once

#include <QByteArray>
#include <QList>
#include <QSettings>

/// What one read of a settings file gave: every value that could be read,
/// keyed "section/key" ("key" alone for the [General] section), and the
/// numbers (from 1) of the lines that could not be read.
struct SettingsFileContents
{
    QSettings::SettingsMap values;
    QList<int> damagedLines;
};

/// Reads the INI text that QSettings writes, with every value read as one
/// text: commas never split it into a list, a missing closing quote ends at
/// the end of its line, and "@" forms other than "@@" stay literal text.
SettingsFileContents parseSettingsFile(const QByteArray &data);

/// Writes @p values as INI text in QSettings' own escaping, sections sorted,
/// so that parseSettingsFile() gives every text back unchanged.
QByteArray formatSettingsFile(const QSettings::SettingsMap &values);

/// The QSettings format that reads and writes files with the two functions
/// above, under the same file names as QSettings' native format (".conf").
QSettings::Format corvaneSettingsFormat();
