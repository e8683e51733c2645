#pragma once

#include <QDateTime>
#include <QString>

/// "mm/dd/yy hh:mm:ss am/pm", e.g. "12/05/26 03:26:08 pm": the stamp of a
/// result line. Hours run 01 to 12; midnight is "12:00:00 am", noon
/// "12:00:00 pm". The words are always "am" and "pm", whatever the locale.
/// An invalid date-time gives the empty text.
QString formatTimeStamp(const QDateTime &when);

/// "mm/dd/yy hh:mm am/pm", e.g. "12/05/26 03:11 am": the date line of a report.
QString formatReportDate(const QDateTime &when);
