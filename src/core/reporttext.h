#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

/// The plain-text report of the result list: the date line, an empty line,
/// one line per entry (copied unchanged, tabs included), an empty line and
/// the count line. Lines end with CR LF; the count line ends the text.
QString buildReportText(const QStringList &entries, const QDateTime &now);

/// "<n> IP Numbers", also for 0 and 1.
QString reportCountLine(qsizetype entryCount);

/// The status shown after copying a report of @p length characters.
QString copyStatusText(qsizetype length);

/// @p line with each tab replaced by blanks up to the next multiple of
/// @p tabSize columns, for output that has no tab stops of its own.
QString expandTabs(const QString &line, int tabSize = 8);
