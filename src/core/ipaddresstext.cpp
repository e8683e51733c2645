#include "ipaddresstext.h"

bool isOctetText(QStringView text)
{
    if (text.size() > 3)
        return false;
    int value = 0;
    for (const QChar ch : text) {
        if (ch < u'0' || ch > u'9')
            return false;
        value = value * 10 + (ch.unicode() - u'0');
    }
    return value <= 255;
}

std::optional<std::array<QString, 4>> splitDottedOctets(QStringView text)
{
    std::array<QString, 4> octets;
    qsizetype start = 0;
    for (int i = 0; i < 4; ++i) {
        qsizetype end = text.indexOf(u'.', start);
        if (i == 3) {
            if (end >= 0)
                return std::nullopt;
            end = text.size();
        } else if (end < 0) {
            return std::nullopt;
        }
        const QStringView octet = text.sliced(start, end - start);
        if (octet.isEmpty() || !isOctetText(octet))
            return std::nullopt;
        octets[static_cast<size_t>(i)] = octet.toString();
        start = end + 1;
    }
    return octets;
}
