#include "timestamp.h"

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

QString twoDigits(int value)
{
    return u"%1"_s.arg(value, 2, 10, QLatin1Char('0'));
}

// Built by hand rather than with QDateTime::toString(): the "ap" pattern takes
// the words from the locale and would not give "am"/"pm" everywhere.
QString format(const QDateTime &when, bool withSeconds)
{
    if (!when.isValid())
        return {};
    const QDate date = when.date();
    const QTime time = when.time();
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    QString text = twoDigits(date.month()) % u'/' % twoDigits(date.day()) % u'/' %
                   twoDigits(std::abs(date.year()) % 100) % u' ' % twoDigits(hour12) % u':' %
                   twoDigits(time.minute());
    if (withSeconds)
        text += u':' % twoDigits(time.second());
    text += time.hour() < 12 ? " am"_L1 : " pm"_L1;
    return text;
}

} // namespace

QString formatTimeStamp(const QDateTime &when)
{
    return format(when, true);
}

QString formatReportDate(const QDateTime &when)
{
    return format(when, false);
}
