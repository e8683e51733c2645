// The range walk on any start and stop text: "start\nstop".
//
// Every step must be exactly one address on in address order (wrapping from
// 255.255.255.255 to 0.0.0.0), the slots must stay octet texts that join to
// the current address, an octet is only rewritten when it changes, and the
// stop test must agree with the numeric order for a well-formed stop text.
// With one address per step and the stop test following the numeric order, a
// walk always ends; it is cut off after MaxSteps to keep each input quick.

#include "fuzzsupport.h"
#include "ipnumber.h"

#include <QRegularExpression>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxSteps = 1000;

// How the walk reads an octet: after leading spaces, its leading decimal digits.
quint32 leadingNumber(const QString &octet)
{
    qsizetype i = 0;
    while (i < octet.size() && octet[i] == u' ')
        ++i;
    quint64 value = 0;
    for (; i < octet.size() && octet[i] >= u'0' && octet[i] <= u'9'; ++i)
        value = std::min<quint64>(value * 10 + (octet[i].unicode() - u'0'), 1u << 20);
    return static_cast<quint32>(value);
}

quint32 addressValue(const OctetSlots &walk)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (leadingNumber(walk.slot[i]) & 0xFF);
    return value;
}

bool isCanonicalOctet(const QString &octet)
{
    bool ok = false;
    const uint value = octet.toUInt(&ok);
    return ok && value <= 255 && octet == QString::number(value);
}

// The stop address when the stop text is plainly four octets of 0 to 255.
std::optional<quint32> plainStopValue(const QString &stop)
{
    static const QRegularExpression plain(QRegularExpression::anchoredPattern(
        u" *([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3}) *"_s));
    const QRegularExpressionMatch match = plain.match(stop);
    if (!match.hasMatch())
        return std::nullopt;
    quint32 value = 0;
    for (int i = 1; i <= 4; ++i) {
        const uint octet = match.capturedView(i).toUInt();
        if (octet > 255)
            return std::nullopt;
        value = (value << 8) | octet;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [start, stop] = fuzzTextPair(data, size);
    const std::optional<quint32> stopValue = plainStopValue(stop);

    if (walkEnds(start, stop))
        return 0;

    OctetSlots walk;
    splitIpNumber(start, walk);
    FUZZ_CHECK(walk.slot[4] == start);
    FUZZ_CHECK(walk.walkCounter >= 0 && walk.walkCounter <= 256);
    if (start.count(u'.') >= 3)
        FUZZ_CHECK(walk.slot[0] + u'.' + walk.slot[1] + u'.' + walk.slot[2] + u'.' + walk.slot[3] ==
                   start);

    for (int step = 0;; ++step) {
        const OctetSlots before = walk;
        if (!nextIpNumber(walk)) {
            FUZZ_CHECK(before.walkCounter >= 256);
            for (int i = 0; i < 5; ++i)
                FUZZ_CHECK(walk.slot[i] == before.slot[i]);
            break;
        }
        FUZZ_CHECK(walk.walkCounter >= 0 && walk.walkCounter <= 255);
        FUZZ_CHECK(walk.slot[4] ==
                   walk.slot[0] + u'.' + walk.slot[1] + u'.' + walk.slot[2] + u'.' + walk.slot[3]);
        for (int i = 0; i < 4; ++i) {
            FUZZ_CHECK(walk.slot[i] == before.slot[i] || isCanonicalOctet(walk.slot[i]));
            FUZZ_CHECK(leadingNumber(walk.slot[i]) <= 255);
        }
        FUZZ_CHECK(leadingNumber(walk.slot[3]) == static_cast<quint32>(walk.walkCounter));
        FUZZ_CHECK(addressValue(walk) == addressValue(before) + 1u);

        const bool reached = ipNumberReached(walk.slot[4], stop);
        if (stopValue)
            FUZZ_CHECK(reached == (addressValue(walk) >= *stopValue));
        if (reached || isLastIpNumber(walk.slot[4]))
            break;
        if (step == MaxSteps)
            break;
    }
    return 0;
}
