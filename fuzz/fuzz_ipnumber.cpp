// IP Number texts, each check reading the same input its own way:
// - "start\nstop" as a range walk: each step one address on in address order
//   (255.255.255.255 wraps to 0.0.0.0), the slots octet texts that join to the
//   address, an octet rewritten only when it changes, the stop test in address
//   order. Cut off after kMaxSteps.
// - an address text against inet_aton, given the text with the leading zeros
//   of every all-digit part taken off (they are decimal here).
// - the shape check of a typed address against a plain reading of its rule.

#include "fuzzsupport.h"
#include "ipnumber.h"
#include "ipv4address.h"
#include "resolver.h"

#include <QRegularExpression>
#include <arpa/inet.h>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxSteps = 300;

// An octet as the walk reads it: its leading decimal digits after leading spaces.
quint32 octetValue(const QString &octet)
{
    qsizetype i = 0;
    while (i < octet.size() && octet[i] == u' ')
        ++i;
    quint32 value = 0;
    for (; i < octet.size() && octet[i] >= u'0' && octet[i] <= u'9'; ++i)
        value = std::min<quint32>(value * 10 + (octet[i].unicode() - u'0'), 1u << 20);
    return value;
}

quint32 addressValue(const OctetSlots &walk)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (octetValue(walk.slot[i]) & 0xFF);
    return value;
}

// The stop address when the stop text is plainly four octets of 0 to 255.
std::optional<quint32> plainAddress(const QString &text)
{
    static const QRegularExpression plain(QRegularExpression::anchoredPattern(
        u" *([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3}) *"_s));
    const QRegularExpressionMatch match = plain.match(text);
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

void checkWalk(const QString &start, const QString &stop)
{
    if (walkEnds(start, stop))
        return;
    OctetSlots walk;
    splitIpNumber(start, walk);
    FUZZ_CHECK(walk.slot[4] == start);
    const bool dotted = start.count(u'.') >= 3;
    if (dotted)
        FUZZ_CHECK(QStringList(walk.slot, walk.slot + 4).join(u'.') == start);
    bool walkable = dotted;
    for (int i = 0; i < 4; ++i)
        walkable = walkable && octetValue(walk.slot[i]) <= 255;
    FUZZ_CHECK(!walkable || octetValue(walk.slot[3]) == quint32(walk.walkCounter));

    const std::optional<quint32> stopValue = plainAddress(stop);
    for (int step = 0; step < kMaxSteps; ++step) {
        const OctetSlots before = walk;
        if (!nextIpNumber(walk)) {
            FUZZ_CHECK(step == 0 && !walkable);
            for (int i = 0; i < 5; ++i)
                FUZZ_CHECK(walk.slot[i] == before.slot[i]);
            return;
        }
        FUZZ_CHECK(walkable);
        FUZZ_CHECK(walk.slot[4] == QStringList(walk.slot, walk.slot + 4).join(u'.'));
        for (int i = 0; i < 4; ++i) {
            FUZZ_CHECK(walk.slot[i] == before.slot[i] ||
                       walk.slot[i] == QString::number(octetValue(walk.slot[i])));
            FUZZ_CHECK(octetValue(walk.slot[i]) <= 255);
        }
        FUZZ_CHECK(octetValue(walk.slot[3]) == quint32(walk.walkCounter));
        FUZZ_CHECK(addressValue(walk) == addressValue(before) + 1u);
        const bool reached = ipNumberReached(walk.slot[4], stop);
        if (stopValue)
            FUZZ_CHECK(reached == (addressValue(walk) >= *stopValue));
        if (reached || isLastIpNumber(walk.slot[4]))
            return;
    }
}

void checkAddress(const QByteArray &bytes)
{
    const std::optional<quint32> ours = parseIPv4Address(QString::fromUtf8(bytes));
    // NUL would end the C text early; inet_aton ignores what follows a blank.
    bool comparable = true;
    for (const char c : bytes) {
        FUZZ_CHECK(!ours || uchar(c) < 0x80);
        comparable = comparable && c != 0 && !QChar::isSpace(uchar(c));
    }
    if (!comparable)
        return;
    QList<QByteArray> parts = bytes.split('.');
    for (QByteArray &part : parts) {
        static const QRegularExpression digits(u"^0+(?=[0-9])(?=[0-9]*$)"_s);
        part = QString::fromLatin1(part).remove(digits).toLatin1();
    }
    in_addr address{};
    const bool accepted = inet_aton(parts.join('.').constData(), &address) != 0;
    FUZZ_CHECK(accepted == ours.has_value());
    FUZZ_CHECK(!accepted || ntohl(address.s_addr) == *ours);
}

// Exactly three dots, each of the first three parts an optionally signed
// decimal number from -32768 to 32767 with spaces around it.
bool hasForm(const QString &text)
{
    static const QRegularExpression number(u"\\A *([+-]?)0*([0-9]{1,5}) *\\z"_s);
    const QStringList parts = text.split(u'.');
    bool form = parts.size() == 4;
    for (int i = 0; i < 3 && form; ++i) {
        const QRegularExpressionMatch match = number.match(parts[i]);
        const int limit = match.captured(1) == u"-" ? 32768 : 32767;
        form = match.hasMatch() && match.captured(2).toInt() <= limit;
    }
    return form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [start, stop] = fuzzSplit(data, size);
    checkWalk(QString::fromUtf8(start), QString::fromUtf8(stop));
    checkAddress(fuzzBytes(data, size));
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    FUZZ_CHECK(hasIpNumberForm(text) == hasForm(text));
    return 0;
}
