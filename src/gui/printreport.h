#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>
#include <QStringList>

class QPrinter;

/// Prints the report of @p entries on the default printer, without a dialog,
/// and returns the status text for the counter label. Without any printer,
/// or when printing fails, nothing is printed and the same status comes back.
QString printReport(const QStringList &entries,
                    const QDateTime &now = QDateTime::currentDateTime());

/// Draws the report on @p printer: the date line in bold, an empty line, one
/// line per entry (tabs expanded, never wrapped or cut), an empty line and the
/// count line, continuing on a new page when one is full. False when the
/// printer could not be opened or the job could not be handed over.
bool printReportOn(QPrinter &printer, const QStringList &entries, const QDateTime &now);

/// "Courier New" where it resolves to a fixed-pitch face, else the system's
/// fixed-pitch font; 10 points.
QFont reportFont();
