#include "clipboardreport.h"

#include "reporttext.h"
#include "waitcursor.h"

#include <QClipboard>
#include <QGuiApplication>

QString copyReportToClipboard(const QStringList &entries, const QDateTime &now)
{
    WaitCursor hourglass;
    const QString text = buildReportText(entries, now);
    if (QClipboard *clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(text);
    }
    return copyStatusText(text.size());
}
