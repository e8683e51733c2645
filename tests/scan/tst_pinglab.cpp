#include "icmpechoprober_linux.h"
#include "icmppacket.h"
#include "ipv4address.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>
#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The scanner's end of the link to the peer namespace, and the peer's end.
constexpr char LabInterface[] = "veth-peer";
constexpr char PeerInterface[] = "veth-scan";

QList<quint32> addressList(const char *variable)
{
    QList<quint32> out;
    const QString text = qEnvironmentVariable(variable);
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (const auto address = parseIPv4Address(word))
            out.append(*address);
    }
    return out;
}

quint32 address(const char *variable)
{
    return parseIPv4Address(qEnvironmentVariable(variable)).value_or(0);
}

QString text(quint32 address)
{
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xff)
        .arg((address >> 8) & 0xff)
        .arg(address & 0xff);
}

qsizetype openDescriptors()
{
    return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
}

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    return true;
}

// Collects finished() per probe id, counting repeats.
struct Results
{
    explicit Results(EchoProber &prober)
    {
        QObject::connect(&prober, &EchoProber::finished, &prober,
                         [this](EchoProber::ProbeId id, bool answered) {
                             if (answers.contains(id))
                                 ++repeats;
                             answers.insert(id, answered);
                         });
    }
    QHash<EchoProber::ProbeId, bool> answers;
    int repeats = 0;
};

// Sees the echo requests leaving the scanner namespace, to learn the
// identifier and sequence number the prober gave each.
class WireTap
{
public:
    // Only taps of every protocol see what leaves.
    WireTap()
        : m_fd(::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL)))
    {
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_protocol = htons(ETH_P_ALL);
        link.sll_ifindex = static_cast<int>(::if_nametoindex(LabInterface));
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0)
            m_fd = (::close(m_fd), -1);
    }
    ~WireTap()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(WireTap)
    bool isOpen() const { return m_fd >= 0; }

    /// The last request seen to @p address so far: identifier and sequence.
    std::optional<std::pair<quint16, quint16>> lastRequestTo(quint32 address)
    {
        unsigned char packet[2048];
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        for (ssize_t size; (size = ::recvfrom(m_fd, packet, sizeof packet, 0,
                                              reinterpret_cast<sockaddr *>(&from), &length)) >= 0;
             length = sizeof from) {
            const auto header = static_cast<ssize_t>((packet[0] & 0x0f) * 4);
            if (from.sll_pkttype == PACKET_OUTGOING && from.sll_protocol == htons(ETH_P_IP) &&
                size >= header + 8 && packet[9] == 1 && packet[header] == 8) {
                m_requests.insert(qFromBigEndian<quint32>(packet + 16),
                                  {qFromBigEndian<quint16>(packet + header + 4),
                                   qFromBigEndian<quint16>(packet + header + 6)});
            }
        }
        const auto it = m_requests.constFind(address);
        return it == m_requests.cend() ? std::nullopt : std::optional(*it);
    }

private:
    int m_fd;
    QHash<quint32, std::pair<quint16, quint16>> m_requests;
};

// Delivers a hand-made ICMP message to this namespace's own address @p to,
// as if it had come from @p from on the network.
bool inject(quint32 from, quint32 to, const QByteArray &icmp)
{
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    QByteArray packet(20, '\0');
    packet[0] = 0x45;
    qToBigEndian(static_cast<quint16>(20 + icmp.size()), packet.data() + 2);
    packet[8] = 64;
    packet[9] = 1;
    qToBigEndian(from, packet.data() + 12);
    qToBigEndian(to, packet.data() + 16);
    packet += icmp;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(to);
    const bool sent =
        fd >= 0 && ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                            reinterpret_cast<sockaddr *>(&sa), sizeof sa) == packet.size();
    if (fd >= 0)
        ::close(fd);
    return sent;
}

QByteArray icmpMessage(quint8 type, quint8 code, quint16 id, quint16 seq, const QByteArray &body)
{
    QByteArray out(8, '\0');
    out[0] = static_cast<char>(type);
    out[1] = static_cast<char>(code);
    qToBigEndian(id, out.data() + 4);
    qToBigEndian(seq, out.data() + 6);
    out += body;
    qToBigEndian(icmpChecksum(out), out.data() + 2);
    return out;
}

QByteArray echoReply(quint16 id, quint16 seq)
{
    return icmpMessage(0, 0, id, seq, IcmpEchoPayload.toByteArray());
}

// Host unreachable about a request from @p source to @p destination.
QByteArray unreachable(quint32 source, quint32 destination, quint16 id, quint16 seq)
{
    QByteArray quoted(20, '\0');
    quoted[0] = 0x45;
    qToBigEndian(quint16(50), quoted.data() + 2);
    quoted[8] = 1;
    quoted[9] = 1;
    qToBigEndian(source, quoted.data() + 12);
    qToBigEndian(destination, quoted.data() + 16);
    return icmpMessage(3, 1, 0, 0, quoted + icmpEchoRequest(id, seq));
}

// Starts the flood helper of tests/lab (in the peer namespace when @p peer)
// and waits for its first line, @p ready.
bool startHelper(QProcess &helper, QStringList arguments, bool peer, const QByteArray &ready)
{
    arguments.prepend(qEnvironmentVariable("CORVANE_PINGFLOOD"));
    if (peer)
        arguments =
            QStringList{u"netns"_s, u"exec"_s, qEnvironmentVariable("CORVANE_LAB_PEER_NS")} +
            arguments;
    helper.start(peer ? u"ip"_s : arguments.takeFirst(), arguments);
    return helper.waitForStarted() && helper.waitForReadyRead(10000) &&
           helper.readLine().trimmed() == ready;
}

} // namespace

// Real ICMP sockets inside the network lab of tests/lab/run-in-lab.sh.
class TestPingLab : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void probe_data();
    void probe();
    void manyInFlight();
    void lateReply_data();
    void lateReply();
    void cancelled();
    void receiverMayCancelDeleteOrProbeAgain();
    void floodDoesNotFoolTheProber();
    void sendsWaitForRoom_data();
    void sendsWaitForRoom();
    void foreignMessagesAreSkipped_data();
    void foreignMessagesAreSkipped();

private:
    QList<quint32> m_answering;
    QList<quint32> m_silent;
    QList<quint32> m_adminProhibited;
    QList<quint32> m_hostUnreachable;
    QList<quint32> m_far;
    quint32 m_scanner = 0;
    quint32 m_peer = 0;
    quint32 m_net = 0;
    bool m_root = false;
};

void TestPingLab::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("CORVANE_LAB"))
        QSKIP("runs inside the network lab only: tests/lab/run-in-lab.sh <this test>");
    m_answering = addressList("CORVANE_LAB_ANSWERING");
    m_silent = addressList("CORVANE_LAB_SILENT");
    m_adminProhibited = addressList("CORVANE_LAB_ADMIN_PROHIBITED");
    m_hostUnreachable = addressList("CORVANE_LAB_HOST_UNREACHABLE");
    m_far = addressList("CORVANE_LAB_FAR_ANSWERING");
    m_scanner = address("CORVANE_LAB_SCANNER_ADDRESS");
    m_peer = address("CORVANE_LAB_PEER_ADDRESS");
    m_net =
        parseIPv4Address(qEnvironmentVariable("CORVANE_LAB_NET").section(u'/', 0, 0)).value_or(0);
    QVERIFY(m_answering.size() >= 4 && m_silent.size() >= 4 && m_adminProhibited.size() >= 2 &&
            m_hostUnreachable.size() >= 2 && !m_far.isEmpty() && m_scanner && m_peer && m_net);
    m_root = ::geteuid() == 0;

    IcmpEchoProber prober;
    QVERIFY2(prober.isAvailable(), qPrintable(prober.unavailableReason()));
    const QString expected = qEnvironmentVariable("CORVANE_EXPECT_SOCKET");
    if (!expected.isEmpty()) {
        QCOMPARE(prober.socketKind() == IcmpSocket::Kind::Raw ? u"raw"_s : u"datagram"_s, expected);
    }
}

void TestPingLab::probe_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("ttl");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("expected");

    // Answers and refusals come at once, long before their time-out.
    constexpr int never = 600000;
    QTest::newRow("answering host") << text(m_answering.first()) << 128 << never << true;
    QTest::newRow("host two hops away with ttl 2") << text(m_far.first()) << 2 << never << true;
    // Read as octal, the text would name 198.16.1.x, which no route leads to.
    const quint32 a = m_answering.first();
    QTest::newRow("leading zeros are decimal")
        << u"%1.0%2.00%3.%4"_s.arg(a >> 24).arg((a >> 16) & 0xff).arg((a >> 8) & 0xff).arg(a & 0xff)
        << 128 << never << true;
    QTest::newRow("administratively prohibited")
        << text(m_adminProhibited.last()) << 128 << never << false;
    QTest::newRow("host unreachable") << text(m_hostUnreachable.last()) << 128 << never << false;
    QTest::newRow("time exceeded on the way") << text(m_far.last()) << 1 << never << false;
    QTest::newRow("ttl 0 cannot be sent") << text(m_answering.first()) << 0 << never << false;
    QTest::newRow("no route") << u"198.19.200.1"_s << 128 << never << false;
    QTest::newRow("broadcast of the link") << text(m_scanner | 3) << 128 << never << false;
    QTest::newRow("limited broadcast") << u"255.255.255.255"_s << 128 << never << false;
    QTest::newRow("text that is no address") << u"1.2.3.4.5"_s << 128 << never << false;
    // The wait counts from the send and lasts the whole time-out.
    QTest::newRow("silent host") << text(m_silent.first()) << 128 << 400 << false;
}

void TestPingLab::probe()
{
    QFETCH(QString, address);
    QFETCH(int, ttl);
    QFETCH(int, timeout);
    QFETCH(bool, expected);

    IcmpEchoProber prober;
    QSignalSpy spy(&prober, &EchoProber::finished);
    QElapsedTimer clock;
    clock.start();
    const auto id = prober.probe(address, ttl, timeout);
    QCOMPARE(spy.count(), 0); // never from inside probe()
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
    QCOMPARE(spy.at(0).at(0).value<EchoProber::ProbeId>(), id);
    QCOMPARE(spy.at(0).at(1).toBool(), expected);
    if (timeout < 10000)
        QVERIFY2(clock.elapsed() >= timeout, qPrintable(u"after %1 ms"_s.arg(clock.elapsed())));
    QCOMPARE(prober.inFlightCount(), 0);
}

void TestPingLab::manyInFlight()
{
    // Every address of the first 256 of the hosts net and the far hosts, 16
    // times over: thousands in flight, many to one address at the same time.
    struct Case
    {
        quint32 address;
        int ttl;
        bool expected;
    };
    QList<Case> cases;
    for (quint32 host = 0; host < 256; ++host)
        cases.append({m_net + host, 128, m_answering.contains(m_net + host)});
    for (const quint32 a : std::as_const(m_far)) {
        cases.append({a, 64, true});
        cases.append({a, 1, false}); // time exceeded at the peer
    }
    IcmpEchoProber prober;
    Results results(prober);
    QHash<EchoProber::ProbeId, Case> sent;
    for (int round = 0; round < 16; ++round) {
        for (const Case &c : std::as_const(cases))
            sent.insert(prober.probe(c.address, c.ttl, 2000), c);
    }
    QCOMPARE(sent.size(), 16 * cases.size()); // every id distinct
    QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), sent.size(), 30000);
    QCOMPARE(results.repeats, 0);

    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        QVERIFY2(results.answers.value(it.key()) == it->expected,
                 qPrintable(u"%1 ttl %2"_s.arg(text(it->address)).arg(it->ttl)));
    }
    QCOMPARE(prober.inFlightCount(), 0);
    QCOMPARE(prober.queuedCount(), 0);
}

void TestPingLab::lateReply_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("expected");

    // Every caller waits 200 ms; the margins leave room for a loaded machine.
    QTest::newRow("reply at 150 ms counts") << 150 << true;
    QTest::newRow("reply at 330 ms comes too late") << 330 << false;
}

void TestPingLab::lateReply()
{
    QFETCH(int, delay);
    QFETCH(bool, expected);
    if (!m_root)
        QSKIP("answering from the peer namespace needs root");

    // A host of the silent range (the peer drops the request before its
    // kernel answers), answered by the responder exactly that late.
    const quint32 host = m_net + 110;
    QVERIFY(!m_answering.contains(host));
    QProcess responder;
    auto stop = qScopeGuard([&] {
        responder.kill();
        responder.waitForFinished();
    });
    QVERIFY(startHelper(responder,
                        {u"--on"_s, QString::fromLatin1(PeerInterface), u"--late"_s,
                         u"%1=%2"_s.arg(text(host)).arg(delay), u"--count"_s, u"1"_s,
                         u"--seconds"_s, u"30"_s},
                        true, "answering"));

    IcmpEchoProber prober;
    QSignalSpy spy(&prober, &EchoProber::finished);
    prober.probe(host, 128, 200);
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toBool(), expected);

    // The request was answered, in time or not.
    QTRY_VERIFY(responder.state() == QProcess::NotRunning);
    QCOMPARE(responder.readAll().trimmed(), "answered 1"_ba);
}

void TestPingLab::cancelled()
{
    IcmpEchoProber prober;
    Results results(prober);
    const auto cancelledQueued = prober.probe(m_answering.at(0), 128, 5000);
    prober.cancel(cancelledQueued);
    QList<EchoProber::ProbeId> ids;
    for (const quint32 a : std::as_const(m_silent))
        ids.append(prober.probe(a, 128, 300));
    QTRY_COMPARE(prober.inFlightCount(), m_silent.size());
    for (const auto id : ids.mid(0, 2))
        prober.cancel(id);
    QCOMPARE(prober.inFlightCount(), m_silent.size() - 2);
    // The others, sent at the same moment, end when the cancelled would have.
    QTRY_COMPARE(results.answers.size(), m_silent.size() - 2);

    // Both answers are read in one go; the first receiver cancels the other,
    // whose result is then already known but not yet delivered.
    const auto first = prober.probe(m_answering.at(1), 128, 5000);
    const auto second = prober.probe(m_answering.at(2), 128, 5000);
    auto canceller = connect(&prober, &EchoProber::finished, this, [&](EchoProber::ProbeId id) {
        prober.cancel(id == first ? second : first);
    });
    QTRY_VERIFY(results.answers.contains(first) || results.answers.contains(second));
    disconnect(canceller);
    // cancelAll forgets queued probes and those whose answer is known.
    for (int i = 0; i < 300; ++i)
        prober.probe(m_answering.at(i % m_answering.size()), 128, 5000);
    prober.probe(u"no address"_s, 128, 5000);
    prober.cancelAll();
    QCOMPARE(prober.queuedCount(), 0);
    const auto later = prober.probe(m_answering.at(3), 128, 5000);
    QTRY_VERIFY(results.answers.contains(later));
    QVERIFY(results.answers.value(later));

    QVERIFY(!results.answers.contains(cancelledQueued));
    for (const auto id : ids.mid(0, 2))
        QVERIFY(!results.answers.contains(id));
    QVERIFY(results.answers.contains(first) != results.answers.contains(second));
    QCOMPARE(results.answers.size(), m_silent.size());
    QCOMPARE(results.repeats, 0);
    prober.cancel(later); // an id that has finished already is ignored
    prober.cancel(0);
}

void TestPingLab::receiverMayCancelDeleteOrProbeAgain()
{
    const qsizetype before = openDescriptors();
    QPointer<IcmpEchoProber> prober = new IcmpEchoProber;
    int calls = 0;
    auto once = connect(prober, &EchoProber::finished, this, [&] {
        ++calls;
        prober->cancelAll();
    });
    for (int i = 0; i < 50; ++i)
        prober->probe(m_answering.at(i % m_answering.size()), 128, 5000);
    QTRY_COMPARE(calls, 1);
    disconnect(once);

    int answered = 0;
    connect(prober, &EchoProber::finished, this, [&](EchoProber::ProbeId, bool ok) {
        answered += ok ? 1 : 0;
        if (answered < 100)
            prober->probe(m_answering.at(answered % m_answering.size()), 128, 5000);
        else
            delete prober;
    });
    for (int i = 0; i < 50; ++i) // still in flight when the receiver deletes the prober
        prober->probe(m_silent.at(i % m_silent.size()), 128, 5000);
    prober->probe(m_answering.first(), 128, 5000);
    QTRY_VERIFY(prober.isNull());
    QCOMPARE(answered, 100);
    QCOMPARE(openDescriptors(), before);
}

void TestPingLab::floodDoesNotFoolTheProber()
{
    QProcess flood;
    auto stop = qScopeGuard([&] {
        flood.kill();
        flood.waitForFinished();
    });
    QStringList arguments{u"--seconds"_s, u"3"_s, u"--count"_s, u"500000"_s};
    if (m_root)
        arguments << u"--junk"_s;
    QVERIFY(startHelper(flood, arguments, false, "flooding"));

    IcmpEchoProber prober;
    Results results(prober);
    QHash<EchoProber::ProbeId, bool> expected;
    for (int round = 0; round < 4; ++round) {
        for (const quint32 a : std::as_const(m_silent))
            expected.insert(prober.probe(a, 128, 1000), false);
        for (const quint32 a : std::as_const(m_answering))
            expected.insert(prober.probe(a, 128, 1000), true);
        for (const quint32 a : std::as_const(m_hostUnreachable))
            expected.insert(prober.probe(a, 128, 1000), false);
    }
    // Other traffic neither answers for a silent host nor stretches the wait.
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), expected.size(), 20000);
    QVERIFY2(clock.elapsed() < 4000, qPrintable(u"took %1 ms"_s.arg(clock.elapsed())));
    QCOMPARE(results.answers, expected);
    QVERIFY(flood.state() == QProcess::Running || flood.exitStatus() == QProcess::NormalExit);

    QTRY_VERIFY_WITH_TIMEOUT(flood.state() == QProcess::NotRunning, 10000);
    const QByteArray report = flood.readAll();
    QCOMPARE(flood.exitCode(), 0);
    const QList<QByteArray> words = report.split(' ');
    QVERIFY2(words.size() > 1 && words.at(1).toLong() > 10000, report.constData());
}

void TestPingLab::sendsWaitForRoom_data()
{
    QTest::addColumn<int>("sendBuffer");
    QTest::addColumn<QString>("queueLimit");
    QTest::addColumn<bool>("expectDrops");

    // Requests leave at about 390 a second. Held in the device queue they
    // fill a minimal send buffer (EAGAIN); a short device queue overflows
    // instead (ENOBUFS).
    QTest::newRow("send buffer full") << 1 << u"200kb"_s << false;
    QTest::newRow("device queue full") << 0 << u"3200"_s << true;
}

void TestPingLab::sendsWaitForRoom()
{
    QFETCH(int, sendBuffer);
    QFETCH(QString, queueLimit);
    QFETCH(bool, expectDrops);
    if (!m_root)
        QSKIP("shaping the lab link needs root");

    const QString device = QString::fromLatin1(LabInterface);
    QVERIFY(
        runTool(u"tc"_s, {u"qdisc"_s, u"replace"_s, u"dev"_s, device, u"root"_s, u"tbf"_s,
                          u"rate"_s, u"200kbit"_s, u"burst"_s, u"1600"_s, u"limit"_s, queueLimit}));
    auto restore = qScopeGuard([&] {
        runTool(u"tc"_s, {u"qdisc"_s, u"del"_s, u"dev"_s, device, u"root"_s});
    });

    IcmpEchoProber prober;
    if (sendBuffer > 0) {
        QCOMPARE(::setsockopt(prober.socketDescriptor(), SOL_SOCKET, SO_SNDBUF, &sendBuffer,
                              sizeof sendBuffer),
                 0);
    }
    Results results(prober);
    // About 2.6 s of sending with 1.5 s to wait: probes whose wait began
    // before they left would run out of time.
    constexpr int count = 1000;
    for (int i = 0; i < count; ++i)
        prober.probe(m_answering.at(i % m_answering.size()), 128, 1500);
    QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), count, 30000);
    QCOMPARE(results.answers.values().count(true), count);
    QVERIFY(prober.deferredSendCount() > 0);

    // Probes cancelled while they wait for room leave nothing in the way.
    QList<EchoProber::ProbeId> waiting;
    const quint64 deferred = prober.deferredSendCount();
    for (int i = 0; i < 500; ++i)
        waiting.append(prober.probe(m_answering.at(i % m_answering.size()), 128, 1500));
    QTRY_VERIFY(prober.deferredSendCount() > deferred);
    for (const auto id : std::as_const(waiting))
        prober.cancel(id);
    QTRY_COMPARE(prober.queuedCount(), 0);
    const auto later = prober.probe(m_answering.first(), 128, 1500);
    QTRY_VERIFY_WITH_TIMEOUT(results.answers.contains(later), 10000);
    QVERIFY(results.answers.value(later));

    QProcess stats;
    stats.start(u"tc"_s, {u"-s"_s, u"qdisc"_s, u"show"_s, u"dev"_s, device});
    QVERIFY(stats.waitForFinished());
    const QString output = QString::fromLatin1(stats.readAllStandardOutput());
    const bool dropped = !output.contains(u"dropped 0,"_s);
    QVERIFY2(dropped == expectDrops, qPrintable(output));
}

void TestPingLab::foreignMessagesAreSkipped_data()
{
    QTest::addColumn<bool>("error");    // an error about a request, else a reply
    QTest::addColumn<int>("otherHost"); // reply from, or error about, another host
    QTest::addColumn<int>("otherId");   // added to the request's identifier
    QTest::addColumn<int>("otherSeq");  // added to the request's sequence
    QTest::addColumn<bool>("decides");  // ends the probe (unanswered) at once

    QTest::newRow("an error about the request") << true << 0 << 0 << 0 << true;
    QTest::newRow("reply from another address") << false << 1 << 0 << 0 << false;
    QTest::newRow("reply with another identifier") << false << 0 << 0x100 << 0 << false;
    QTest::newRow("reply with another sequence") << false << 0 << 0 << 7 << false;
    QTest::newRow("error about another sequence") << true << 0 << 0 << 1 << false;
    QTest::newRow("error about another host") << true << 1 << 0 << 0 << false;
}

void TestPingLab::foreignMessagesAreSkipped()
{
    QFETCH(bool, error);
    QFETCH(int, otherHost);
    QFETCH(int, otherId);
    QFETCH(int, otherSeq);
    QFETCH(bool, decides);
    if (!m_root)
        QSKIP("watching and forging traffic needs root");

    WireTap tap;
    QVERIFY(tap.isOpen());
    IcmpEchoProber prober;
    Results results(prober);
    const quint32 target = m_silent.at(0);
    const quint32 control = m_silent.at(1);
    const auto probe = prober.probe(target, 128, 60000);
    const auto controlProbe = prober.probe(control, 128, 60000);
    QTRY_VERIFY(tap.lastRequestTo(target) && tap.lastRequestTo(control));
    const auto [id, seq] = *tap.lastRequestTo(target);
    const auto [controlId, controlSeq] = *tap.lastRequestTo(control);

    const quint32 host = otherHost ? m_silent.at(2) : target;
    const auto forgedId = static_cast<quint16>(id + otherId);
    const auto forgedSeq = static_cast<quint16>(seq + otherSeq);
    QVERIFY(error ? inject(m_peer, m_scanner, unreachable(m_scanner, host, forgedId, forgedSeq))
                  : inject(host, m_scanner, echoReply(forgedId, forgedSeq)));
    // Sent after the forgery on the same way in, so handled after it.
    QVERIFY(inject(control, m_scanner, echoReply(controlId, controlSeq)));
    QTRY_VERIFY(results.answers.contains(controlProbe));
    QVERIFY(results.answers.value(controlProbe));

    QCOMPARE(results.answers.contains(probe), decides);
    if (!decides) {
        // Still waiting, and still able to take its real answer.
        QVERIFY(inject(target, m_scanner, echoReply(id, seq)));
        QTRY_VERIFY(results.answers.contains(probe));
    }
    QCOMPARE(results.answers.value(probe), !decides);
    // A duplicate of a reply already taken changes nothing.
    QVERIFY(inject(target, m_scanner, echoReply(id, seq)));
    const auto after = prober.probe(m_answering.first(), 128, 5000);
    QTRY_VERIFY(results.answers.contains(after));
    QCOMPARE(results.repeats, 0);
    QCOMPARE(results.answers.size(), 3);
}

QTEST_GUILESS_MAIN(TestPingLab)
#include "tst_pinglab.moc"
