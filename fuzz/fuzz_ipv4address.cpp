// Address text parsing against the C library's inet_aton.
//
// inet_aton reads a part with a leading zero as octal; ours reads it as
// decimal. So the reference gets the text with the leading zeros of every
// all-digit part taken off, which must then give the same address. Texts with
// white space are left out of the comparison: inet_aton stops at the first
// blank and ignores the rest, while we reject the blank.

#include "fuzzsupport.h"
#include "ipv4address.h"

#include <QList>
#include <arpa/inet.h>
#include <netinet/in.h>

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
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
