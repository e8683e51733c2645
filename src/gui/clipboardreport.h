#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

/// Puts the report of @p entries on the clipboard as plain text and returns
/// the status text for the counter label. The status is returned also when
/// the clipboard could not be reached.
QString copyReportToClipboard(const QStringList &entries,
                              const QDateTime &now = QDateTime::currentDateTime());
