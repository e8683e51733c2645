// The ICMP reader on anything a raw or datagram socket can deliver.
//
// The first byte chooses the reader (a whole IPv4 packet, an ICMP message, a
// quoted request from the error queue); the rest is the data. A reply may only
// come from an echo reply with a valid checksum, and an echo request we build
// from the data's identifier and sequence must, turned into a reply, read back
// as exactly that reply.

#include "fuzzsupport.h"
#include "icmppacket.h"

#include <QtEndian>

namespace {

constexpr quint32 Source = 0x7f000001;

void checkEvent(const std::optional<IcmpEchoEvent> &event, QByteArrayView icmp)
{
    if (!event)
        return;
    if (event->kind == IcmpEchoEvent::Kind::Reply) {
        FUZZ_CHECK(icmp.size() >= 8);
        FUZZ_CHECK(icmp[0] == 0 && icmp[1] == 0);
        FUZZ_CHECK(icmpChecksum(icmp) == 0);
        FUZZ_CHECK(event->identifier == qFromBigEndian<quint16>(icmp.data() + 4));
        FUZZ_CHECK(event->sequence == qFromBigEndian<quint16>(icmp.data() + 6));
    } else {
        FUZZ_CHECK(event->errorType == 3 || event->errorType == 11 || event->errorType == 12);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray all = fuzzBytes(data, size);
    const QByteArrayView body = QByteArrayView(all).sliced(1);

    switch (data[0] % 3) {
    case 0: {
        const std::optional<IcmpEchoEvent> event = parseIcmpIpPacket(body);
        if (event) {
            const qsizetype header = (body[0] & 0x0f) * 4;
            const qsizetype total = qFromBigEndian<quint16>(body.data() + 2);
            checkEvent(event, body.sliced(header, total - header));
        }
        break;
    }
    case 1:
        checkEvent(parseIcmpMessage(body, Source), body);
        break;
    default: {
        const std::optional<IcmpEchoEvent> event = parseQuotedEchoRequest(body, Source);
        if (event)
            FUZZ_CHECK(event->kind == IcmpEchoEvent::Kind::Error && event->address == Source);
        break;
    }
    }

    if (body.size() >= 4) {
        const quint16 identifier = qFromBigEndian<quint16>(body.data());
        const quint16 sequence = qFromBigEndian<quint16>(body.data() + 2);
        QByteArray reply = icmpEchoRequest(identifier, sequence);
        FUZZ_CHECK(icmpChecksum(reply) == 0);
        reply[0] = 0;
        reply[2] = reply[3] = 0;
        qToBigEndian(icmpChecksum(reply), reply.data() + 2);
        const std::optional<IcmpEchoEvent> event = parseIcmpMessage(reply, Source);
        FUZZ_CHECK(event && event->kind == IcmpEchoEvent::Kind::Reply);
        FUZZ_CHECK(event->identifier == identifier && event->sequence == sequence);
        FUZZ_CHECK(event->address == Source);
    }
    return 0;
}
