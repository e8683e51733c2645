// IP Number texts. "start\nstop" as a range walk: each step one address on, slots that join to it,
// an octet rewritten (plainly) only when it changes, the stop test in address order; only a
// walkable start steps. As an address text: as inet_aton reads it without the leading zeros of
// all-digit parts. As a typed address: three dots, the first three parts 16-bit decimal numbers,
// blanks around allowed.

#include "fuzzsupport.h"
#include "ipnumber.h"
#include "ipv4address.h"
#include "resolver.h"

#include <arpa/inet.h>

using namespace Qt::StringLiterals;

namespace {

// An octet as the walk reads it: its leading decimal digits after leading spaces.
quint32 octetValue(const QString &octet)
{
    qsizetype i = 0;
    while (i < octet.size() && octet[i] == u' ')
        ++i;
    quint32 value = 0;
    for (; i < octet.size() && octet[i].isDigit() && octet[i] <= u'9'; ++i)
        value = std::min(value * 10 + (octet[i].unicode() - u'0'), 1u << 20);
    return value;
}

quint32 addressValue(const OctetSlots &walk)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (octetValue(walk.slot[i]) & 0xFF);
    return value;
}

void checkWalk(const QString &start, const QString &stop)
{
    if (walkEnds(start, stop))
        return;
    OctetSlots walk;
    splitIpNumber(start, walk);
    FUZZ_CHECK(walk.slot[4] == start);
    bool walkable = start.count(u'.') >= 3;
    FUZZ_CHECK(!walkable || QStringList(walk.slot, walk.slot + 4).join(u'.') == start);
    for (int i = 0; i < 4; ++i)
        walkable = walkable && octetValue(walk.slot[i]) <= 255;
    FUZZ_CHECK(!walkable || octetValue(walk.slot[3]) == quint32(walk.walkCounter));
    const std::optional<quint32> stopValue = plainAddress(stop.trimmed());
    for (int step = 0; step < 300; ++step) {
        const OctetSlots before = walk;
        if (!nextIpNumber(walk)) {
            FUZZ_CHECK(step == 0 && !walkable);
            FUZZ_CHECK(std::equal(walk.slot, walk.slot + 5, before.slot));
            return;
        }
        FUZZ_CHECK(walkable && walk.slot[4] == QStringList(walk.slot, walk.slot + 4).join(u'.'));
        for (int i = 0; i < 4; ++i)
            FUZZ_CHECK(octetValue(walk.slot[i]) <= 255 &&
                       (walk.slot[i] == before.slot[i] ||
                        walk.slot[i] == QString::number(octetValue(walk.slot[i]))));
        FUZZ_CHECK(octetValue(walk.slot[3]) == quint32(walk.walkCounter));
        FUZZ_CHECK(addressValue(walk) == addressValue(before) + 1u);
        const bool reached = ipNumberReached(walk.slot[4], stop);
        FUZZ_CHECK(!stopValue || reached == (addressValue(walk) >= *stopValue));
        if (reached || isLastIpNumber(walk.slot[4]))
            return;
    }
}

void checkAddress(const QByteArray &bytes)
{
    const std::optional<quint32> ours = parseIPv4Address(QString::fromUtf8(bytes));
    bool comparable = true; // NUL ends a C text; inet_aton ignores what follows a blank
    for (const char c : bytes) {
        FUZZ_CHECK(!ours || uchar(c) < 0x80);
        comparable = comparable && c != 0 && !QChar::isSpace(uchar(c));
    }
    static const QRegularExpression zeros(u"(?<![^.])0+(?=[0-9]+(\\.|$))"_s);
    in_addr address{};
    const bool accepted =
        inet_aton(QString::fromLatin1(bytes).remove(zeros).toLatin1().constData(), &address);
    FUZZ_CHECK(!comparable || accepted == ours.has_value());
    FUZZ_CHECK(!comparable || !accepted || ntohl(address.s_addr) == *ours);
}

bool hasForm(const QString &text)
{
    static const QRegularExpression number(u"\\A *([+-]?)0*([0-9]{1,5}) *\\z"_s);
    const QStringList parts = text.split(u'.');
    bool form = parts.size() == 4;
    for (int i = 0; i < 3 && form; ++i) {
        const QRegularExpressionMatch match = number.match(parts[i]);
        form = match.hasMatch() && match.captured(2).toInt() <= 32767 + (match.captured(1) == u"-");
    }
    return form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [start, stop] = fuzzSplit(data, size);
    checkWalk(QString::fromUtf8(start), QString::fromUtf8(stop));
    checkAddress(fuzzBytes(data, size));
    FUZZ_CHECK(hasIpNumberForm(QString::fromUtf8(fuzzBytes(data, size))) ==
               hasForm(QString::fromUtf8(fuzzBytes(data, size))));
    return 0;
}
