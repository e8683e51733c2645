// IP Number texts: every check below reads the same input its own way.
//
// The range walk on any start and stop text: "start\nstop".
//
// Every step must be exactly one address on in address order (wrapping from
// 255.255.255.255 to 0.0.0.0), the slots must stay octet texts that join to
// the current address, an octet is only rewritten when it changes, and the
// stop test must agree with the numeric order for a well-formed stop text.
// With one address per step and the stop test following the numeric order, a
// walk always ends; it is cut off after MaxSteps to keep each input quick.
//
// Address text parsing against the C library's inet_aton.
//
// inet_aton reads a part with a leading zero as octal; ours reads it as
// decimal. So the reference gets the text with the leading zeros of every
// all-digit part taken off, which must then give the same address. Texts with
// white space are left out of the comparison: inet_aton stops at the first
// blank and ignores the rest, while we reject the blank.
//
// The shape check of a typed address, against a plain reading of its rule:
// exactly three dots, and each of the first three parts an optionally signed
// decimal number from -32768 to 32767 with spaces allowed around it.

#include "fuzzsupport.h"
#include "ipnumber.h"
#include "ipv4address.h"
#include "resolver.h"

#include <QList>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>

using namespace Qt::StringLiterals;

namespace {
namespace range {

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

int check(const uint8_t *data, size_t size)
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

} // namespace range
} // namespace

namespace {
namespace address {

namespace {

bool isAllDigits(QByteArrayView part)
{
    if (part.isEmpty())
        return false;
    for (const char c : part) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

QByteArray withoutLeadingZeros(const QByteArray &text)
{
    QList<QByteArray> parts = text.split('.');
    for (QByteArray &part : parts) {
        if (!isAllDigits(part))
            continue;
        qsizetype zeros = 0;
        while (zeros + 1 < part.size() && part[zeros] == '0')
            ++zeros;
        part.remove(0, zeros);
    }
    return parts.join('.');
}

bool comparableWithInetAton(QByteArrayView text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // NUL would end the C text early; blanks make inet_aton ignore the rest.
        if (byte == 0 || byte == ' ' || (byte >= '\t' && byte <= '\r') || byte >= 0x80)
            return false;
    }
    return true;
}

} // namespace

int check(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const std::optional<quint32> ours = parseIPv4Address(QString::fromUtf8(bytes));
    // Only ASCII can make up an address.
    for (const char c : bytes)
        FUZZ_CHECK(!ours || static_cast<unsigned char>(c) < 0x80);

    if (!comparableWithInetAton(bytes))
        return 0;
    const QByteArray reference = withoutLeadingZeros(bytes);
    in_addr address{};
    const bool accepted = inet_aton(reference.constData(), &address) != 0;
    FUZZ_CHECK(accepted == ours.has_value());
    if (accepted)
        FUZZ_CHECK(ntohl(address.s_addr) == *ours);
    return 0;
}

} // namespace address
} // namespace

namespace {
namespace form {

namespace {

bool isShortNumber(QStringView part)
{
    static const QRegularExpression number(
        QRegularExpression::anchoredPattern(u" *[+-]?[0-9]+ *"_s));
    if (!number.match(part.toString()).hasMatch())
        return false;
    QStringView digits = part.trimmed();
    if (digits.startsWith(u'+'))
        digits = digits.sliced(1);
    bool ok = false;
    // Long runs of leading zeros still name a small number.
    const bool negative = digits.startsWith(u'-');
    if (negative)
        digits = digits.sliced(1);
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    const qlonglong value = digits.toLongLong(&ok);
    return ok && (negative ? value <= 32768 : value <= 32767);
}

bool referenceForm(const QString &text)
{
    const QList<QStringView> parts = QStringView(text).split(u'.');
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!isShortNumber(parts[i]))
            return false;
    }
    return true;
}

} // namespace

int check(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    FUZZ_CHECK(hasIpNumberForm(text) == referenceForm(text));
    return 0;
}

} // namespace form
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    range::check(data, size);
    address::check(data, size);
    form::check(data, size);
    return 0;
}
