#include "icmppacket.h"

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

enum class Reader { IpPacket, Message, QuotedRequest };
Q_DECLARE_METATYPE(Reader)

// What a real network rarely sends, read by each reader of received ICMP. The
// usual replies and errors come from real hosts and routers in the lab test.
class TestPingPacket : public QObject
{
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void hostile_data();
    void hostile();
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
    QTest::newRow("request whose checksum field would carry")
        << icmpEchoRequest(0xf7ff, 0xfffe) << quint16(0);
}

void TestPingPacket::checksum()
{
    QFETCH(QByteArray, data);
    QFETCH(quint16, expected);
    QCOMPARE(icmpChecksum(data), expected);
}

void TestPingPacket::hostile_data()
{
    QTest::addColumn<Reader>("reader");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<IcmpEchoEvent>>("expected");

    const std::optional<IcmpEchoEvent> none;
    const QByteArray data = IcmpEchoPayload.toByteArray();
    const IpHeader quoted = requestHeader();
    const auto message = [](const char *name, const QByteArray &bytes,
                            const std::optional<IcmpEchoEvent> &expected) {
        QTest::newRow(name) << Reader::Message << bytes << expected;
    };

    message("echo reply of odd length", icmp(0, 0, Id, Seq, data + 'x'), reply(Target));
    message("echo reply with a bad checksum", icmp(0, 0, Id, Seq, data, false), none);
    message("echo reply with a code", icmp(0, 1, Id, Seq, data), none);
    message("seven bytes", icmp(0, 0, Id, Seq).left(7), none);
    message("nothing", QByteArray(), none);
    message("our own request looped back", ourRequest(), none);
    message("timestamp reply", icmp(14, 0, Id, Seq, QByteArray(12, '\0')), none);
    message("host unreachable quoting eight bytes", icmpError(3, 1, quoted, ourRequest().left(8)),
            error(Target, 3, 1));
    message("parameter problem", icmpError(12, 0, quoted, ourRequest()), error(Target, 12, 0));
    IpHeader withOptions = quoted;
    withOptions.headerWords = 6;
    message("quoted header with options", icmpError(3, 1, withOptions, ourRequest()),
            error(Target, 3, 1));
    IpHeader dontFragment = quoted;
    dontFragment.fragment = 0x4000;
    message("quoted header with don't-fragment", icmpError(3, 1, dontFragment, ourRequest()),
            error(Target, 3, 1));
    message("redirect", icmpError(5, 1, quoted, ourRequest()), none);
    message("source quench", icmpError(4, 0, quoted, ourRequest()), none);
    message("error with a bad checksum", icmpError(3, 1, quoted, ourRequest(), false), none);
    message("error quoting four bytes of the request",
            icmpError(3, 1, quoted, ourRequest().left(4)), none);
    message("error quoting nothing", icmp(3, 1, 0, 0), none);
    message("error quoting half an IP header", icmp(3, 1, 0, 0, ip(quoted, ourRequest()).left(12)),
            none);
    IpHeader udp = quoted;
    udp.protocol = 17;
    message("error about a UDP datagram", icmpError(3, 3, udp, ourRequest()), none);
    message("error about an echo reply", icmpError(3, 1, quoted, icmp(0, 0, Id, Seq, data)), none);
    IpHeader v6 = quoted;
    v6.version = 6;
    message("error quoting a non-IPv4 header", icmpError(3, 1, v6, ourRequest()), none);
    IpHeader shortHeader = quoted;
    shortHeader.headerWords = 4;
    message("quoted header length below 20", icmpError(3, 1, shortHeader, ourRequest()), none);
    IpHeader longHeader = quoted;
    longHeader.headerWords = 15;
    message("quoted header length past the data", icmp(3, 1, 0, 0, ip(longHeader, {}).left(24)),
            none);
    IpHeader fragment = quoted;
    fragment.fragment = 0x0010;
    message("error about a later fragment", icmpError(3, 1, fragment, ourRequest()), none);
    fragment.fragment = 0x2000;
    message("error about a first fragment", icmpError(3, 1, fragment, ourRequest()), none);

    const QByteArray answer = icmp(0, 0, Id, Seq, data);
    const auto packet = [](const char *name, const QByteArray &bytes,
                           const std::optional<IcmpEchoEvent> &expected) {
        QTest::newRow(name) << Reader::IpPacket << bytes << expected;
    };
    const IpHeader fromTarget;
    IpHeader options = fromTarget;
    options.headerWords = 7;
    packet("header with options", ip(options, answer), reply(Target));
    IpHeader padded = fromTarget;
    padded.totalLengthDelta = -2;
    packet("bytes after the total length are not the message", ip(padded, answer + "zz"),
           reply(Target));
    packet("checksum over the wrong length", ip(padded, answer.left(answer.size() - 2) + "zz"),
           none);
    IpHeader router = fromTarget;
    router.source = Router;
    packet("error from a router names the destination, not the router",
           ip(router, icmpError(11, 0, requestHeader(), ourRequest())), error(Target, 11, 0));
    packet("nineteen bytes", ip(fromTarget, answer).left(19), none);
    packet("header alone", ip(fromTarget, answer).left(20), none);
    IpHeader notV4 = fromTarget;
    notV4.version = 6;
    packet("not IPv4", ip(notV4, answer), none);
    IpHeader tooShort = fromTarget;
    tooShort.headerWords = 4;
    packet("header length below 20", ip(tooShort, answer), none);
    IpHeader tooLong = fromTarget;
    tooLong.headerWords = 15;
    packet("header length past the data", ip(tooLong, {}).left(40), none);
    IpHeader notIcmp = fromTarget;
    notIcmp.protocol = 17;
    packet("UDP", ip(notIcmp, answer), none);
    IpHeader truncated = fromTarget;
    truncated.totalLengthDelta = 10;
    packet("truncated packet", ip(truncated, answer), none);
    IpHeader shorterThanHeader = fromTarget;
    shorterThanHeader.totalLengthDelta = -static_cast<int>(answer.size()) - 4;
    packet("total length shorter than the header", ip(shorterThanHeader, answer), none);
    IpHeader fragmented = fromTarget;
    fragmented.fragment = 0x2000;
    packet("first fragment", ip(fragmented, answer), none);
    fragmented.fragment = 0x0003;
    packet("later fragment", ip(fragmented, answer), none);

    // The error queue hands over the start of our request.
    const auto queued = [](const char *name, const QByteArray &bytes,
                           const std::optional<IcmpEchoEvent> &expected) {
        QTest::newRow(name) << Reader::QuotedRequest << bytes << expected;
    };
    queued("first eight bytes of our request", ourRequest().left(8), error(Target, 0, 0));
    queued("seven bytes of our request", ourRequest().left(7), none);
    queued("an echo reply in the error queue", icmp(0, 0, Id, Seq), none);
    queued("a request with a code", icmp(8, 1, Id, Seq), none);
}

void TestPingPacket::hostile()
{
    QFETCH(Reader, reader);
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<IcmpEchoEvent>, expected);

    switch (reader) {
    case Reader::IpPacket:
        QCOMPARE(parseIcmpIpPacket(bytes), expected);
        break;
    case Reader::Message:
        QCOMPARE(parseIcmpMessage(bytes, Target), expected);
        break;
    case Reader::QuotedRequest:
        QCOMPARE(parseQuotedEchoRequest(bytes, Target), expected);
        break;
    }
}

QTEST_GUILESS_MAIN(TestPingPacket)
#include "tst_pingpacket.moc"
