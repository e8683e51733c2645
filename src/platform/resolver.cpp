#include "resolver.h"

#include "hostnameescape.h"
#include "ipv4address.h"
#include "resolverplatform.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// The name buffer of the reverse lookup holds 512 characters with the closing
// NUL; a longer official name (only a hosts file can hold one) is cut to fit.
constexpr qsizetype MaxHostNameLength = 511;

// glibc reads a name made only of digits and dots as an address itself, with
// a leading zero meaning octal. Such a text never reaches it: either it is an
// address by our own reading, or it is no name at all.
bool isDigitsAndDots(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar ch) { return ch == u'.' || (ch >= u'0' && ch <= u'9'); });
}

// A whole number from -32768 to 32767: blanks (spaces) around an optional sign
// and at least one decimal digit.
bool isShortNumber(QStringView part)
{
    while (!part.isEmpty() && part.front() == u' ')
        part = part.sliced(1);
    while (!part.isEmpty() && part.back() == u' ')
        part.chop(1);
    bool negative = false;
    if (!part.isEmpty() && (part.front() == u'-' || part.front() == u'+')) {
        negative = part.front() == u'-';
        part = part.sliced(1);
    }
    if (part.isEmpty())
        return false;
    const int limit = negative ? 32768 : 32767;
    int value = 0;
    for (const QChar ch : part) {
        if (ch < u'0' || ch > u'9')
            return false;
        value = value * 10 + (ch.unicode() - u'0');
        if (value > limit)
            return false;
    }
    return true;
}

} // namespace

QString lookUpIpNumber(const QString &hostName)
{
    QString result = u"ERROR"_s;
    if (const std::optional<quint32> address = parseIPv4Address(hostName))
        return ipNumberFromAddress(qToBigEndian(*address));
    // A NUL would cut the name short and ask about another host.
    if (isDigitsAndDots(hostName) || hostName.contains(QChar(u'\0')))
        return result;
    if (const std::optional<quint32> address = lookupFirstIPv4Address(hostName.toUtf8()))
        result = ipNumberFromAddress(*address);
    return result;
}

QString lookUpHostName(const QString &ipNumber)
{
    // A rejected text stands for the all-ones address, as the classic parser's
    // failure value did.
    const quint32 address = parseIPv4Address(ipNumber).value_or(0xFFFFFFFFu);
    if (address == 0)
        return {};
    const std::optional<QByteArray> name = lookupOfficialHostName(qToBigEndian(address));
    if (!name)
        return {};
    return escapeHostName(QByteArrayView(*name).first(std::min(name->size(), MaxHostNameLength)));
}

QString ipNumberFromAddress(quint32 networkOrderAddress)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &networkOrderAddress, sizeof bytes);
    return QString::number(bytes[0]) + u'.' + QString::number(bytes[1]) + u'.' +
           QString::number(bytes[2]) + u'.' + QString::number(bytes[3]);
}

bool hasIpNumberForm(const QString &text)
{
    int dots = 0;
    QStringView rest(text);
    for (;;) {
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0)
            return dots == 3;
        // More than three dots can never pass; stopping here also keeps the
        // count small for any length of text.
        if (++dots > 3)
            return false;
        if (!isShortNumber(rest.first(dot)))
            return false;
        rest = rest.sliced(dot + 1);
    }
}
