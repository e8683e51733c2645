#include "icmppacket.h"

#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<IcmpEchoEvent>)

char *toString(const std::optional<IcmpEchoEvent> &event)
{
    if (!event)
        return qstrdup("nothing");
    const QString text =
        u"%1 address %2 id %3 seq %4 type %5 code %6"_s
            .arg(event->kind == IcmpEchoEvent::Kind::Reply ? u"reply"_s : u"error"_s)
            .arg(event->address, 8, 16, QChar(u'0'))
            .arg(event->identifier, 4, 16, QChar(u'0'))
            .arg(event->sequence, 4, 16, QChar(u'0'))
            .arg(event->errorType)
            .arg(event->errorCode);
    return qstrdup(text.toLatin1().constData());
}

namespace {

constexpr quint32 Prober = 0xc613ff01; // 198.19.255.1
constexpr quint32 Target = 0xc6120105; // 198.18.1.5
constexpr quint32 Router = 0xc613ff02; // 198.19.255.2
constexpr quint16 Id = 0x4a21;
constexpr quint16 Seq = 0x0102;

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out.append(static_cast<char>(b));
    return out;
}

void put16(QByteArray &data, qsizetype offset, quint16 value)
{
    qToBigEndian(value, data.data() + offset);
}

void put32(QByteArray &data, qsizetype offset, quint32 value)
{
    qToBigEndian(value, data.data() + offset);
}

// An ICMP message with a correct checksum unless told otherwise.
QByteArray icmp(int type, int code, quint16 id, quint16 seq, const QByteArray &body = {},
                bool goodChecksum = true)
{
    QByteArray out(8, '\0');
    out[0] = static_cast<char>(type);
    out[1] = static_cast<char>(code);
    put16(out, 4, id);
    put16(out, 6, seq);
    out += body;
    const quint16 sum = icmpChecksum(out);
    put16(out, 2, goodChecksum ? sum : static_cast<quint16>(sum ^ 0x0101));
    return out;
}

struct IpHeader
{
    int version = 4;
    int headerWords = 5;
    int protocol = 1;
    quint16 fragment = 0;
    quint32 source = Target;
    quint32 destination = Prober;
    int totalLengthDelta = 0; ///< added to the true total length
};

QByteArray ip(const IpHeader &h, const QByteArray &payload)
{
    const qsizetype headerSize = qMax(h.headerWords, 5) * 4;
    QByteArray out(headerSize, '\0');
    out[0] = static_cast<char>((h.version << 4) | (h.headerWords & 0x0f));
    put16(out, 2, static_cast<quint16>(headerSize + payload.size() + h.totalLengthDelta));
    put16(out, 6, h.fragment);
    out[8] = 64;
    out[9] = static_cast<char>(h.protocol);
    put32(out, 12, h.source);
    put32(out, 16, h.destination);
    return out + payload;
}

// What a router sends back about our request: the request's IP header and its
// first @p quotedIcmpBytes bytes of ICMP.
QByteArray icmpError(int type, int code, const IpHeader &quotedHeader, const QByteArray &quotedIcmp,
                     bool goodChecksum = true)
{
    return icmp(type, code, 0, 0, ip(quotedHeader, quotedIcmp), goodChecksum);
}

IpHeader requestHeader()
{
    IpHeader h;
    h.source = Prober;
    h.destination = Target;
    return h;
}

QByteArray ourRequest()
{
    return icmpEchoRequest(Id, Seq);
}

IcmpEchoEvent reply(quint32 from, quint16 id = Id, quint16 seq = Seq)
{
    IcmpEchoEvent e;
    e.kind = IcmpEchoEvent::Kind::Reply;
    e.address = from;
    e.identifier = id;
    e.sequence = seq;
    return e;
}

IcmpEchoEvent error(quint32 destination, quint8 type, quint8 code)
{
    IcmpEchoEvent e;
    e.kind = IcmpEchoEvent::Kind::Error;
    e.address = destination;
    e.identifier = Id;
    e.sequence = Seq;
    e.errorType = type;
    e.errorCode = code;
    return e;
}

} // namespace

class TestPingPacket : public QObject
{
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void echoRequest_data();
    void echoRequest();
    void icmpMessage_data();
    void icmpMessage();
    void ipPacket_data();
    void ipPacket();
    void quotedRequest_data();
    void quotedRequest();
    void arbitraryBytesParseSafely();
};

void TestPingPacket::checksum_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint16>("expected");

    QTest::newRow("worked example of RFC 1071")
        << bytes({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}) << quint16(0x220d);
    QTest::newRow("odd last byte is padded with zero") << bytes({0x01}) << quint16(0xfeff);
    QTest::newRow("nothing") << QByteArray() << quint16(0xffff);
    QTest::newRow("carries fold back in") << bytes({0xff, 0xff, 0x00, 0x01}) << quint16(0xfffe);
    QTest::newRow("many carries") << QByteArray(4000, '\xff') << quint16(0x0000);
    QTest::newRow("an echo request of id 0 sequence 0")
        << (bytes({8, 0, 0, 0, 0, 0, 0, 0}) + IcmpEchoPayload.toByteArray()) << quint16(0xdcf8);
}

void TestPingPacket::checksum()
{
    QFETCH(QByteArray, data);
    QFETCH(quint16, expected);
    QCOMPARE(icmpChecksum(data), expected);
}

void TestPingPacket::echoRequest_data()
{
    QTest::addColumn<quint16>("identifier");
    QTest::addColumn<quint16>("sequence");

    QTest::newRow("zeros") << quint16(0) << quint16(0);
    QTest::newRow("all ones") << quint16(0xffff) << quint16(0xffff);
    QTest::newRow("bytes in network order") << quint16(0x1234) << quint16(0xabcd);
    QTest::newRow("checksum field would carry") << quint16(0xf7ff) << quint16(0xfffe);
}

void TestPingPacket::echoRequest()
{
    QFETCH(quint16, identifier);
    QFETCH(quint16, sequence);

    const QByteArray packet = icmpEchoRequest(identifier, sequence);
    QCOMPARE(packet.size(), 8 + 22);
    QCOMPARE(packet.at(0), char(8));
    QCOMPARE(packet.at(1), char(0));
    QCOMPARE(qFromBigEndian<quint16>(packet.constData() + 4), identifier);
    QCOMPARE(qFromBigEndian<quint16>(packet.constData() + 6), sequence);
    QCOMPARE(packet.mid(8), "this is a test message"_ba);
    QCOMPARE(icmpChecksum(packet), quint16(0)); // a correct checksum sums to zero
    // Our own request, looped back to a raw socket, is no answer.
    QVERIFY(!parseIcmpMessage(packet, Target));
}

void TestPingPacket::icmpMessage_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<std::optional<IcmpEchoEvent>>("expected");

    const std::optional<IcmpEchoEvent> none;
    const QByteArray data = IcmpEchoPayload.toByteArray();
    const IpHeader quoted = requestHeader();

    QTest::newRow("echo reply") << icmp(0, 0, Id, Seq, data) << std::optional(reply(Target));
    QTest::newRow("echo reply without data") << icmp(0, 0, Id, Seq) << std::optional(reply(Target));
    QTest::newRow("echo reply of odd length")
        << icmp(0, 0, Id, Seq, data + 'x') << std::optional(reply(Target));
    QTest::newRow("echo reply with a bad checksum") << icmp(0, 0, Id, Seq, data, false) << none;
    QTest::newRow("echo reply with a code") << icmp(0, 1, Id, Seq, data) << none;
    QTest::newRow("seven bytes") << icmp(0, 0, Id, Seq).left(7) << none;
    QTest::newRow("nothing") << QByteArray() << none;
    QTest::newRow("echo request") << icmp(8, 0, Id, Seq, data) << none;
    QTest::newRow("timestamp reply") << icmp(14, 0, Id, Seq, QByteArray(12, '\0')) << none;

    QTest::newRow("administratively prohibited")
        << icmpError(3, 13, quoted, ourRequest()) << std::optional(error(Target, 3, 13));
    QTest::newRow("host unreachable quoting eight bytes")
        << icmpError(3, 1, quoted, ourRequest().left(8)) << std::optional(error(Target, 3, 1));
    QTest::newRow("time exceeded")
        << icmpError(11, 0, quoted, ourRequest()) << std::optional(error(Target, 11, 0));
    QTest::newRow("parameter problem")
        << icmpError(12, 0, quoted, ourRequest()) << std::optional(error(Target, 12, 0));
    IpHeader withOptions = quoted;
    withOptions.headerWords = 6;
    QTest::newRow("quoted header with options")
        << icmpError(3, 1, withOptions, ourRequest()) << std::optional(error(Target, 3, 1));
    IpHeader dontFragment = quoted;
    dontFragment.fragment = 0x4000;
    QTest::newRow("quoted header with don't-fragment")
        << icmpError(3, 1, dontFragment, ourRequest()) << std::optional(error(Target, 3, 1));

    QTest::newRow("redirect") << icmpError(5, 1, quoted, ourRequest()) << none;
    QTest::newRow("source quench") << icmpError(4, 0, quoted, ourRequest()) << none;
    QTest::newRow("error with a bad checksum")
        << icmpError(3, 1, quoted, ourRequest(), false) << none;
    QTest::newRow("error quoting four bytes of the request")
        << icmpError(3, 1, quoted, ourRequest().left(4)) << none;
    QTest::newRow("error quoting nothing") << icmp(3, 1, 0, 0) << none;
    QTest::newRow("error quoting half an IP header")
        << icmp(3, 1, 0, 0, ip(quoted, ourRequest()).left(12)) << none;
    IpHeader udp = quoted;
    udp.protocol = 17;
    QTest::newRow("error about a UDP datagram") << icmpError(3, 3, udp, ourRequest()) << none;
    QTest::newRow("error about an echo reply")
        << icmpError(3, 1, quoted, icmp(0, 0, Id, Seq, data)) << none;
    IpHeader v6 = quoted;
    v6.version = 6;
    QTest::newRow("error quoting a non-IPv4 header") << icmpError(3, 1, v6, ourRequest()) << none;
    IpHeader shortHeader = quoted;
    shortHeader.headerWords = 4;
    QTest::newRow("quoted header length below 20")
        << icmpError(3, 1, shortHeader, ourRequest()) << none;
    IpHeader longHeader = quoted;
    longHeader.headerWords = 15;
    QTest::newRow("quoted header length past the data")
        << icmp(3, 1, 0, 0, ip(longHeader, {}).left(24)) << none;
    IpHeader laterFragment = quoted;
    laterFragment.fragment = 0x0010;
    QTest::newRow("error about a later fragment")
        << icmpError(3, 1, laterFragment, ourRequest()) << none;
    IpHeader firstOfFragments = quoted;
    firstOfFragments.fragment = 0x2000;
    QTest::newRow("error about a first fragment")
        << icmpError(3, 1, firstOfFragments, ourRequest()) << none;
}

void TestPingPacket::icmpMessage()
{
    QFETCH(QByteArray, message);
    QFETCH(std::optional<IcmpEchoEvent>, expected);
    QCOMPARE(parseIcmpMessage(message, Target), expected);
}

void TestPingPacket::ipPacket_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<std::optional<IcmpEchoEvent>>("expected");

    const std::optional<IcmpEchoEvent> none;
    const QByteArray answer = icmp(0, 0, Id, Seq, IcmpEchoPayload.toByteArray());
    const IpHeader fromTarget;

    QTest::newRow("echo reply") << ip(fromTarget, answer) << std::optional(reply(Target));
    IpHeader options = fromTarget;
    options.headerWords = 7;
    QTest::newRow("header with options") << ip(options, answer) << std::optional(reply(Target));
    IpHeader dontFragment = fromTarget;
    dontFragment.fragment = 0x4000;
    QTest::newRow("don't-fragment flag")
        << ip(dontFragment, answer) << std::optional(reply(Target));
    IpHeader padded = fromTarget;
    padded.totalLengthDelta = -2;
    QTest::newRow("bytes after the total length are not the message")
        << ip(padded, answer + "zz") << std::optional(reply(Target));

    IpHeader router = fromTarget;
    router.source = Router;
    QTest::newRow("error from a router names the destination, not the router")
        << ip(router, icmpError(11, 0, requestHeader(), ourRequest()))
        << std::optional(error(Target, 11, 0));

    QTest::newRow("nothing") << QByteArray() << none;
    QTest::newRow("nineteen bytes") << ip(fromTarget, answer).left(19) << none;
    QTest::newRow("header alone") << ip(fromTarget, answer).left(20) << none;
    IpHeader v6 = fromTarget;
    v6.version = 6;
    QTest::newRow("not IPv4") << ip(v6, answer) << none;
    IpHeader tooShort = fromTarget;
    tooShort.headerWords = 4;
    QTest::newRow("header length below 20") << ip(tooShort, answer) << none;
    IpHeader tooLong = fromTarget;
    tooLong.headerWords = 15;
    QTest::newRow("header length past the data") << ip(tooLong, {}).left(40) << none;
    IpHeader udp = fromTarget;
    udp.protocol = 17;
    QTest::newRow("UDP") << ip(udp, answer) << none;
    IpHeader truncated = fromTarget;
    truncated.totalLengthDelta = 10;
    QTest::newRow("truncated packet") << ip(truncated, answer) << none;
    IpHeader shorterThanHeader = fromTarget;
    shorterThanHeader.totalLengthDelta = -static_cast<int>(answer.size()) - 4;
    QTest::newRow("total length shorter than the header") << ip(shorterThanHeader, answer) << none;
    IpHeader fragment = fromTarget;
    fragment.fragment = 0x2000;
    QTest::newRow("first fragment") << ip(fragment, answer) << none;
    fragment.fragment = 0x0003;
    QTest::newRow("later fragment") << ip(fragment, answer) << none;
    QTest::newRow("checksum over the wrong length")
        << ip(padded, answer.left(answer.size() - 2) + "zz") << none;
}

void TestPingPacket::ipPacket()
{
    QFETCH(QByteArray, packet);
    QFETCH(std::optional<IcmpEchoEvent>, expected);
    QCOMPARE(parseIcmpIpPacket(packet), expected);
}

void TestPingPacket::quotedRequest_data()
{
    QTest::addColumn<QByteArray>("quoted");
    QTest::addColumn<std::optional<IcmpEchoEvent>>("expected");

    const std::optional<IcmpEchoEvent> none;
    IcmpEchoEvent ours = error(Target, 0, 0);

    QTest::newRow("our whole request") << ourRequest() << std::optional(ours);
    QTest::newRow("its first eight bytes") << ourRequest().left(8) << std::optional(ours);
    QTest::newRow("seven bytes") << ourRequest().left(7) << none;
    QTest::newRow("nothing") << QByteArray() << none;
    QTest::newRow("an echo reply") << icmp(0, 0, Id, Seq) << none;
    QTest::newRow("a request with a code") << icmp(8, 1, Id, Seq) << none;
}

void TestPingPacket::quotedRequest()
{
    QFETCH(QByteArray, quoted);
    QFETCH(std::optional<IcmpEchoEvent>, expected);
    QCOMPARE(parseQuotedEchoRequest(quoted, Target), expected);
}

// Raw sockets hand over whatever arrives. Damaged copies of good packets, with
// and without repaired checksums, must never be read outside their bytes (the
// sanitizers watch this test) and what they yield must be what the bytes say.
void TestPingPacket::arbitraryBytesParseSafely()
{
    QRandomGenerator random(20240611);
    const QList<QByteArray> seeds = {
        ip({}, icmp(0, 0, Id, Seq, IcmpEchoPayload.toByteArray())),
        ip({}, icmpError(3, 13, requestHeader(), ourRequest())),
        ip({}, icmpError(11, 0, requestHeader(), ourRequest().left(8))),
    };

    int parsed = 0;
    for (int round = 0; round < 30000; ++round) {
        QByteArray packet = seeds.at(round % seeds.size());
        const int edits = random.bounded(1, 6);
        for (int e = 0; e < edits; ++e) {
            switch (random.bounded(4)) {
            case 0:
                packet.truncate(random.bounded(static_cast<int>(packet.size()) + 1));
                break;
            case 1:
                packet.append(static_cast<char>(random.bounded(256)));
                break;
            default:
                if (!packet.isEmpty())
                    packet[random.bounded(static_cast<int>(packet.size()))] =
                        static_cast<char>(random.bounded(256));
            }
        }
        const qsizetype headerSize = packet.isEmpty() ? 0 : (packet.at(0) & 0x0f) * 4;
        if (round % 2 == 0 && headerSize >= 20 && packet.size() >= headerSize + 4) {
            // Repair the checksum so that the parser looks deeper.
            put16(packet, 2, static_cast<quint16>(packet.size()));
            put16(packet, headerSize + 2, 0);
            put16(packet, headerSize + 2, icmpChecksum(QByteArrayView(packet).sliced(headerSize)));
        }

        const auto event = parseIcmpIpPacket(packet);
        if (event) {
            ++parsed;
            const QByteArrayView message = QByteArrayView(packet).sliced(headerSize);
            QCOMPARE(icmpChecksum(message.first(qFromBigEndian<quint16>(packet.constData() + 2) -
                                                headerSize)),
                     quint16(0));
            const quint8 type = static_cast<quint8>(message[0]);
            if (event->kind == IcmpEchoEvent::Kind::Reply) {
                QCOMPARE(type, quint8(0));
                QCOMPARE(event->address, qFromBigEndian<quint32>(packet.constData() + 12));
                QCOMPARE(event->sequence, qFromBigEndian<quint16>(message.data() + 6));
            } else {
                QVERIFY(type == 3 || type == 11 || type == 12);
                QCOMPARE(event->errorType, type);
            }
        }
        parseIcmpMessage(packet, Target);
        parseQuotedEchoRequest(packet, Target);
    }
    // The repaired half must reach the deep end of the parser now and then.
    QVERIFY2(parsed > 100, qPrintable(u"only %1 packets parsed"_s.arg(parsed)));
}

QTEST_GUILESS_MAIN(TestPingPacket)
#include "tst_pingpacket.moc"
