#include "ipnumber.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr qint16 WalkEnded = 256;
// Octet values are only compared with 0..255 or stepped by one, so anything
// larger may saturate here; this keeps a long digit run from overflowing.
constexpr int OctetValueCap = 100000;

// The numeric value of an octet text as the walk reads it: after any leading
// spaces, the leading decimal digits count (leading zeros are decimal). A text
// without leading digits counts as 0.
int octetValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    int value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value >= OctetValueCap)
            return OctetValueCap;
    }
    return value;
}

// The four octet texts of @p text, cut at its first three dots; the fourth
// keeps any further dots. Missing octets are empty. Returns the number of
// dots found, at most three.
int cutOctets(QStringView text, std::array<QStringView, 4> &octets)
{
    octets = {};
    int dots = 0;
    qsizetype from = 0;
    for (; dots < 3; ++dots) {
        const qsizetype dot = text.indexOf(u'.', from);
        if (dot < 0)
            break;
        octets[static_cast<size_t>(dots)] = text.mid(from, dot - from);
        from = dot + 1;
    }
    octets[static_cast<size_t>(dots)] = text.mid(from);
    return dots;
}

bool isPlainOctet(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return octetValue(text) <= 255;
}

QString incremented(const QString &octet)
{
    return QString::number(octetValue(octet) + 1);
}

} // namespace

void splitIpNumber(const QString &text, OctetSlots &walk)
{
    std::array<QStringView, 4> octets;
    const int dots = cutOctets(text, octets);
    for (size_t i = 0; i < 4; ++i)
        walk.slot[i] = octets[i].toString();
    walk.slot[4] = text;

    bool walkable = dots == 3;
    for (size_t i = 0; i < 3; ++i)
        walkable = walkable && octetValue(octets[i]) <= 255;
    const int fourth = octetValue(octets[3]);
    walk.walkCounter = walkable && fourth < WalkEnded ? static_cast<qint16>(fourth) : WalkEnded;
}

bool nextIpNumber(OctetSlots &walk)
{
    if (walk.walkCounter >= WalkEnded)
        return false;

    QString *octet = walk.slot;
    walk.walkCounter = static_cast<qint16>(walk.walkCounter + 1);
    octet[3] = QString::number(walk.walkCounter);
    if (walk.walkCounter > 255) {
        const QString carried = u"256"_s;
        if (octet[3] == carried) {
            octet[3] = u"0"_s;
            octet[2] = incremented(octet[2]);
        }
        if (octet[2] == carried) {
            octet[2] = u"0"_s;
            octet[1] = incremented(octet[1]);
        }
        if (octet[1] == carried) {
            octet[1] = u"0"_s;
            octet[0] = incremented(octet[0]);
        }
        if (octet[0] == carried) {
            for (size_t i = 0; i < 4; ++i)
                octet[i] = u"0"_s;
        }
        octet[3] = u"0"_s;
        walk.walkCounter = 0;
    }
    octet[4] = octet[0] % u'.' % octet[1] % u'.' % octet[2] % u'.' % octet[3];
    return true;
}

bool ipNumberReached(const QString &current, const QString &stopReference)
{
    // A blank stop reference fails this test too: both count as the lowest address.
    std::array<QStringView, 4> stop;
    const QStringView stopText = QStringView(stopReference).trimmed();
    if (cutOctets(stopText, stop) != 3 || !std::all_of(stop.cbegin(), stop.cend(), isPlainOctet))
        return true;

    std::array<QStringView, 4> here;
    cutOctets(current, here);
    for (size_t i = 0; i < 4; ++i) {
        const int a = octetValue(here[i]);
        const int b = octetValue(stop[i]);
        if (a != b)
            return a > b;
    }
    return true;
}

bool isLastIpNumber(const QString &text)
{
    return text == "255.255.255.255"_L1;
}

bool walkEnds(const QString &current, const QString &stopReference)
{
    return ipNumberReached(current, stopReference) || isLastIpNumber(current);
}
