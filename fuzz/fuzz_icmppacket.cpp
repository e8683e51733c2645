// The ICMP readers and checksum against a plain reference reading of the same
// rules. The first byte picks the reader (IPv4 packet, ICMP message, quoted
// request); a request built from the next four bytes, turned reply, reads back.

#include "fuzzsupport.h"
#include "icmppacket.h"

#include <QtEndian>

namespace {

constexpr quint32 Source = 0x7f000001;

using Bytes = const unsigned char *;
using Event = std::optional<IcmpEchoEvent>;

constexpr auto be16 = [](Bytes p) { return unsigned(p[0]) << 8 | p[1]; };
constexpr auto be32 = [](Bytes p) { return quint32(be16(p)) << 16 | be16(p + 2); };

// The ones' complement sum of 16-bit words, an odd last byte as the high half.
quint16 sum(Bytes p, size_t n)
{
    unsigned long long total = 0;
    for (size_t i = 0; i < n; ++i)
        total += i % 2 ? p[i] : unsigned(p[i]) << 8;
    while (total > 0xffff)
        total = (total & 0xffff) + (total >> 16);
    return quint16(~total);
}

// The event of an echo whose identifier and sequence number are at id.
Event found(IcmpEchoEvent::Kind kind, quint32 address, Bytes id, quint8 type = 0, quint8 code = 0)
{
    return IcmpEchoEvent{kind, address, quint16(be16(id)), quint16(be16(id + 2)), type, code};
}

// An IPv4 header that fits in n bytes, not a fragment, carrying ICMP: its length, else 0.
size_t icmpHeader(Bytes p, size_t n)
{
    if (n < 20 || p[0] >> 4 != 4)
        return 0;
    const size_t length = (p[0] & 15u) * 4;
    const bool fragment = (be16(p + 6) & 0x3fff) != 0;
    return length >= 20 && length <= n && p[9] == 1 && !fragment ? length : 0;
}

Event quoted(Bytes p, size_t n, quint32 destination, quint8 type = 0, quint8 code = 0)
{
    const bool request = n >= 8 && p[0] == 8 && p[1] == 0;
    return request ? found(IcmpEchoEvent::Kind::Error, destination, p + 4, type, code)
                   : std::nullopt;
}

Event message(Bytes p, size_t n, quint32 source)
{
    if (n < 8 || sum(p, n) != 0)
        return std::nullopt;
    if (p[0] == 0)
        return p[1] == 0 ? found(IcmpEchoEvent::Kind::Reply, source, p + 4) : std::nullopt;
    if (p[0] != 3 && p[0] != 11 && p[0] != 12)
        return std::nullopt;
    const size_t header = icmpHeader(p + 8, n - 8);
    return header ? quoted(p + 8 + header, n - 8 - header, be32(p + 8 + 16), p[0], p[1])
                  : std::nullopt;
}

Event packet(Bytes p, size_t n)
{
    const size_t header = icmpHeader(p, n);
    const size_t total = header ? be16(p + 2) : 0;
    if (!header || total < header || total > n)
        return std::nullopt;
    return message(p + header, total - header, be32(p + 12));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView body(data + 1, qsizetype(size - 1));
    Bytes p = data + 1;
    const size_t n = size - 1, reader = data[0] % 3;
    FUZZ_CHECK(icmpChecksum(body) == sum(p, n));
    FUZZ_CHECK(reader != 0 || parseIcmpIpPacket(body) == packet(p, n));
    FUZZ_CHECK(reader != 1 || parseIcmpMessage(body, Source) == message(p, n, Source));
    FUZZ_CHECK(reader != 2 || parseQuotedEchoRequest(body, Source) == quoted(p, n, Source));
    if (n >= 4) {
        QByteArray reply = icmpEchoRequest(quint16(be16(p)), quint16(be16(p + 2)));
        FUZZ_CHECK(reply.size() == IcmpEchoRequestSize && reply.endsWith(IcmpEchoPayload));
        FUZZ_CHECK(sum(reinterpret_cast<Bytes>(reply.constData()), size_t(reply.size())) == 0);
        reply[0] = reply[2] = reply[3] = 0;
        qToBigEndian(icmpChecksum(reply), reply.data() + 2);
        FUZZ_CHECK(parseIcmpMessage(reply, Source) == found(IcmpEchoEvent::Kind::Reply, Source, p));
    }
    return 0;
}
