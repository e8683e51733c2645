#include "ipv4address.h"

#include <array>

namespace {

// Reads one part: decimal digits (leading zeros stay decimal) or "0x"/"0X"
// followed by hex digits. Stops as soon as the value passes @p max, so a long
// run of digits can never overflow.
std::optional<quint32> parsePart(QStringView part, quint32 max)
{
    int base = 10;
    if (part.size() > 2 && part[0] == u'0' && (part[1] == u'x' || part[1] == u'X')) {
        base = 16;
        part = part.mid(2);
    }
    if (part.isEmpty())
        return std::nullopt;

    quint64 value = 0;
    for (const QChar ch : part) {
        const char16_t c = ch.unicode();
        quint32 digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = static_cast<quint32>(c - u'0');
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = static_cast<quint32>(c - u'a') + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = static_cast<quint32>(c - u'A') + 10;
        else
            return std::nullopt;
        value = value * static_cast<quint64>(base) + digit;
        if (value > max)
            return std::nullopt;
    }
    return static_cast<quint32>(value);
}

} // namespace

// Whitespace is rejected everywhere, trailing included: the entry fields never
// produce it, and an address text with a stray blank is more likely a typing
// slip than something to probe.
std::optional<quint32> parseIPv4Address(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;

    std::array<QStringView, 4> parts;
    qsizetype count = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype dot = text.indexOf(u'.', from);
        if (count == 4)
            return std::nullopt;
        parts[static_cast<size_t>(count++)] = text.mid(from, dot < 0 ? -1 : dot - from);
        if (dot < 0)
            break;
        from = dot + 1;
    }

    // The last part fills all the bits the earlier parts leave free.
    static constexpr std::array<quint32, 4> lastPartMax{0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    quint32 address = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const bool last = i == count - 1;
        const auto value = parsePart(parts[static_cast<size_t>(i)],
                                     last ? lastPartMax[static_cast<size_t>(count - 1)] : 0xFFu);
        if (!value)
            return std::nullopt;
        if (last)
            address |= *value;
        else
            address |= *value << (8 * (3 - i));
    }
    return address;
}
