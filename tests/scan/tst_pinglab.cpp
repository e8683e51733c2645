// Real ICMP sockets inside the network lab (tests/lab/run-in-lab.sh <this test>).
#include "fakehostresolver.h"
#include "icmpechoprober_linux.h"
#include "icmppacket.h"
#include "ipv4address.h"
#include "scanrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QList<quint32> addressList(const char *variable)
{
    QList<quint32> out;
    for (const QString &word : qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts))
        out.append(parseIPv4Address(word.section(u'/', 0, 0)).value_or(0));
    return out;
}

QString text(quint32 a)
{
    return u"%1.%2.%3.%4"_s.arg(a >> 24).arg((a >> 16) & 0xff).arg((a >> 8) & 0xff).arg(a & 0xff);
}

// corvane-lateanswer in the peer namespace, once it listens.
bool startResponder(QProcess &responder, const QStringList &arguments)
{
    responder.start(
        u"ip"_s, QStringList{u"netns"_s, u"exec"_s, qEnvironmentVariable("CORVANE_LAB_PEER_NS"),
                             qEnvironmentVariable("CORVANE_LATE_ANSWER"), u"--on"_s, u"veth-scan"_s} +
                     arguments);
    return responder.waitForStarted() && responder.waitForReadyRead(10000) &&
           responder.readLine() == "answering\n";
}

struct Results
{
    QHash<EchoProber::ProbeId, bool> answers;
    int repeats = 0;
    explicit Results(EchoProber &p)
    {
        QObject::connect(&p, &EchoProber::finished, &p, [this](EchoProber::ProbeId id, bool ok) {
            repeats += answers.contains(id) ? 1 : 0;
            answers.insert(id, ok);
        });
    }
};

QByteArray ipPacket(quint32 from, quint32 to, const QByteArray &payload)
{
    QByteArray p(20, '\0');
    p[0] = 0x45, p[8] = 64, p[9] = 1;
    qToBigEndian(quint16(20 + payload.size()), p.data() + 2);
    qToBigEndian(from, p.data() + 12);
    qToBigEndian(to, p.data() + 16);
    return p + payload;
}

// Sent with a valid checksum: an echo reply (type 0), or a host unreachable (3/1).
bool inject(quint32 from, quint32 to, quint8 type, QByteArray m)
{
    m[0] = char(type), m[1] = type == 3, m[2] = m[3] = 0;
    qToBigEndian(icmpChecksum(m), m.data() + 2);
    const QByteArray packet = ipPacket(from, to, m);
    sockaddr_in sa{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(to)}, .sin_zero = {}};
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    const bool sent =
        fd >= 0 && ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                            reinterpret_cast<sockaddr *>(&sa), sizeof sa) == packet.size();
    fd >= 0 && ::close(fd);
    return sent;
}

} // namespace

class TestPingLab : public QObject
{
    Q_OBJECT
    QList<quint32> m_answering = addressList("CORVANE_LAB_ANSWERING");
    QList<quint32> m_silent = addressList("CORVANE_LAB_SILENT");
    QList<quint32> m_far = addressList("CORVANE_LAB_FAR_ANSWERING");
    quint32 m_scanner = addressList("CORVANE_LAB_SCANNER_ADDRESS").value(0);
    quint32 m_peer = addressList("CORVANE_LAB_PEER_ADDRESS").value(0);
    quint32 m_net = addressList("CORVANE_LAB_NET").value(0);
    bool m_root = ::geteuid() == 0;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CORVANE_LAB"))
            QSKIP("runs inside the network lab only: tests/lab/run-in-lab.sh <this test>");
        QVERIFY(m_answering.size() >= 4 && m_silent.size() >= 4 && !m_far.isEmpty() && m_net);
        IcmpEchoProber prober;
        QVERIFY2(prober.isAvailable(), qPrintable(prober.unavailableReason()));
        const QString expected = qEnvironmentVariable("CORVANE_EXPECT_SOCKET");
        if (!expected.isEmpty())
            QCOMPARE(prober.socketKind() == IcmpSocket::Kind::Raw ? u"raw"_s : u"datagram"_s,
                     expected);
    }

    void probe_data()
    {
        QTest::addColumn<QString>("address");
        // lateBy: answered that late from the peer, else 0; busy: the loop blocked that long
        for (const char *column : {"ttl", "expected", "timeout", "lateBy", "busy"})
            QTest::addColumn<int>(column);
        const auto row = [](const char *name, const QString &a, int ttl, bool expected,
                            int timeout = 600000, int lateBy = 0, int busy = 0) {
            QTest::newRow(name) << a << ttl << int(expected) << timeout << lateBy << busy;
        };
        const quint32 a = m_answering.first();
        row("answering host", text(a), 128, true);
        row("host two hops away with ttl 2", text(m_far.first()), 2, true);
        row("administratively prohibited", text(m_net + 64), 128, false);
        row("host unreachable", text(m_net + 95), 128, false);
        row("time exceeded on the way", text(m_far.last()), 1, false);
        row("ttl 0 cannot be sent", text(a), 0, false);
        row("no route", u"198.19.200.1"_s, 128, false);
        row("broadcast of the link", text(m_scanner | 3), 128, false);
        // The wait counts from the send and lasts the whole time-out (every caller
        // waits 200 ms); the margins leave room for a loaded machine.
        row("silent host", text(m_silent.first()), 128, false, 400);
        row("reply at 150 ms counts", text(m_net + 110), 128, true, 200, 150);
        row("reply at 330 ms comes too late", text(m_net + 110), 128, false, 200, 330);
        row("so does one read at 600 ms", text(m_net + 110), 128, false, 200, 330, 600);
    }

    void probe()
    {
        QFETCH(QString, address);
        QFETCH(int, ttl);
        QFETCH(int, expected);
        QFETCH(int, timeout);
        QFETCH(int, lateBy);
        QFETCH(int, busy);
        if (lateBy > 0 && !m_root)
            QSKIP("answering from the peer namespace needs root");
        QProcess responder;
        if (lateBy > 0)
            QVERIFY(startResponder(responder, {u"--count"_s, u"1"_s, u"--late"_s,
                                               u"%1=%2"_s.arg(address).arg(lateBy)}));
        IcmpEchoProber prober;
        QSignalSpy spy(&prober, &EchoProber::finished);
        QElapsedTimer clock;
        clock.start();
        const auto id = prober.probe(address, ttl, timeout);
        QCOMPARE(spy.count(), 0); // never from inside probe()
        if (busy > 0) {           // sent, then the reply arrives while the loop is held
            QTRY_COMPARE(prober.inFlightCount(), 1);
            QTest::qSleep(busy);
        }
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<EchoProber::ProbeId>(), id);
        QCOMPARE(spy.at(0).at(1).toBool(), bool(expected));
        if (timeout < 10000 && !expected)
            QVERIFY2(clock.elapsed() >= timeout, qPrintable(u"after %1 ms"_s.arg(clock.elapsed())));
        QCOMPARE(prober.inFlightCount(), 0);
        if (lateBy > 0) { // answered, in time or not
            QTRY_VERIFY(responder.state() == QProcess::NotRunning);
            QCOMPARE(responder.readAll().trimmed(), "answered 1"_ba);
        }
    }

    // The first 256 of the hosts net and the far hosts (two time-to-live values),
    // 16 times over: thousands in flight, many to one address at the same time.
    void manyInFlight()
    {
        QList<std::tuple<quint32, int, bool>> cases;
        for (quint32 host = m_net; host < m_net + 256; ++host)
            cases.append({host, 128, m_answering.contains(host)});
        for (const quint32 a : std::as_const(m_far))
            cases << std::tuple{a, 64, true} << std::tuple{a, 1, false}; // time exceeded
        IcmpEchoProber prober;
        Results results(prober);
        QHash<EchoProber::ProbeId, bool> expected;
        for (int round = 0; round < 16; ++round)
            for (const auto &[a, ttl, answers] : std::as_const(cases))
                expected.insert(prober.probe(a, ttl, 1000), answers);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(expected.size(), 16 * cases.size()); // every id distinct
        QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), expected.size(), 30000);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(u"took %1 ms"_s.arg(clock.elapsed())));
        QCOMPARE(results.answers, expected);
        QCOMPARE(results.repeats, 0);
        QCOMPARE(prober.inFlightCount() + prober.queuedCount(), 0);
    }

    void cancelledAndReceiverMayCancelDeleteOrProbeAgain()
    {
        IcmpEchoProber prober;
        Results results(prober);
        const auto queued = prober.probe(m_answering.at(0), 128, 5000);
        prober.cancel(queued);
        QList<EchoProber::ProbeId> ids;
        for (const quint32 a : std::as_const(m_silent))
            ids.append(prober.probe(a, 128, 300));
        QTRY_COMPARE(prober.inFlightCount(), m_silent.size());
        prober.cancel(ids.at(0));
        prober.cancel(ids.at(1));
        QCOMPARE(prober.inFlightCount(), m_silent.size() - 2);
        QTRY_COMPARE(results.answers.size(), m_silent.size() - 2); // the others end as they would
        // Both answers are read in one go; the first receiver cancels the other,
        // whose result is then known but not yet delivered.
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
        QTRY_VERIFY(results.answers.value(later));
        QVERIFY(!results.answers.contains(queued) && !results.answers.contains(ids.at(0)) &&
                !results.answers.contains(ids.at(1)));
        QVERIFY(results.answers.contains(first) != results.answers.contains(second));
        QCOMPARE(results.answers.size(), m_silent.size());
        QCOMPARE(results.repeats, 0);
        prober.cancel(later); // an id that has finished already is ignored
        prober.cancel(0);
        const auto descriptors = [] { return QDir(u"/proc/self/fd"_s).count(); };
        const uint before = descriptors();
        QPointer<IcmpEchoProber> other = new IcmpEchoProber;
        int calls = 0, answered = 0;
        auto once = connect(other, &EchoProber::finished, this, [&] {
            ++calls;
            other->cancelAll();
        });
        for (int i = 0; i < 50; ++i)
            other->probe(m_answering.at(i % m_answering.size()), 128, 5000);
        QTRY_COMPARE(calls, 1);
        disconnect(once);
        connect(other, &EchoProber::finished, this, [&](EchoProber::ProbeId, bool ok) {
            if ((answered += ok) < 100)
                other->probe(m_answering.at(answered % m_answering.size()), 128, 5000);
            else
                delete other;
        });
        for (int i = 0; i < 50; ++i) // still in flight when the receiver deletes the prober
            other->probe(m_silent.at(i % m_silent.size()), 128, 5000);
        other->probe(m_answering.first(), 128, 5000);
        QTRY_VERIFY(other.isNull());
        QCOMPARE(answered, 100);
        QCOMPARE(descriptors(), before);
    }

    // An error about the request, else a reply; from (or about) another host; the
    // request's identifier and sequence with these added.
    void foreignMessagesAreSkipped_data()
    {
        for (const auto *c : {"error", "otherHost", "otherId", "otherSeq"})
            QTest::addColumn<int>(c);
        QTest::newRow("an error about the request") << 1 << 0 << 0 << 0;
        QTest::newRow("reply from another address") << 0 << 1 << 0 << 0;
        QTest::newRow("reply with another identifier") << 0 << 0 << 0x100 << 0;
        QTest::newRow("reply with another sequence") << 0 << 0 << 0 << 7;
        QTest::newRow("error about another sequence") << 1 << 0 << 0 << 1;
        QTest::newRow("error about another host") << 1 << 1 << 0 << 0;
    }

    void foreignMessagesAreSkipped()
    {
        QFETCH(int, error);
        QFETCH(int, otherHost);
        QFETCH(int, otherId);
        QFETCH(int, otherSeq);
        const bool decides = error && !otherHost && !otherId && !otherSeq;
        if (!m_root)
            QSKIP("watching and forging traffic needs root");
        // Only taps of every protocol see what leaves.
        const int tap =
            ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_protocol = htons(ETH_P_ALL);
        link.sll_ifindex = int(::if_nametoindex("veth-peer"));
        QVERIFY(::bind(tap, reinterpret_cast<sockaddr *>(&link), sizeof link) == 0);
        IcmpEchoProber prober;
        Results results(prober);
        const quint32 target = m_silent.at(0), control = m_silent.at(1);
        const auto probe = prober.probe(target, 128, 60000);
        const auto controlProbe = prober.probe(control, 128, 60000);
        QHash<quint32, std::pair<quint16, quint16>> seen; // requests sent: identifier, sequence
        QTRY_VERIFY([&] {
            unsigned char p[2048];
            sockaddr_ll from{};
            socklen_t n = sizeof from;
            for (ssize_t size; (size = ::recvfrom(tap, p, sizeof p, 0,
                                                  reinterpret_cast<sockaddr *>(&from), &n)) > 0;
                 n = sizeof from) {
                const int h = (p[0] & 0x0f) * 4;
                if (size >= h + 8 && from.sll_pkttype == PACKET_OUTGOING &&
                    from.sll_protocol == htons(ETH_P_IP) && p[9] == 1 && p[h] == 8)
                    seen.insert(
                        qFromBigEndian<quint32>(p + 16),
                        {qFromBigEndian<quint16>(p + h + 4), qFromBigEndian<quint16>(p + h + 6)});
            }
            return seen.contains(target) && seen.contains(control);
        }());
        ::close(tap);
        const auto [id, seq] = seen.value(target);
        const auto reply = [&](quint32 from, quint16 i, quint16 s) {
            return inject(from, m_scanner, 0, icmpEchoRequest(i, s));
        };
        const quint32 host = otherHost ? m_silent.at(2) : target;
        const auto forgedId = quint16(id + otherId), forgedSeq = quint16(seq + otherSeq);
        const QByteArray quoted = ipPacket(m_scanner, host, icmpEchoRequest(forgedId, forgedSeq));
        QVERIFY(error ? inject(m_peer, m_scanner, 3, QByteArray(8, 0) + quoted)
                      : reply(host, forgedId, forgedSeq));
        // Sent after the forgery on the same way in, so handled after it.
        QVERIFY(reply(control, seen.value(control).first, seen.value(control).second));
        QTRY_VERIFY(results.answers.value(controlProbe));
        QCOMPARE(results.answers.contains(probe), decides);
        if (!decides) { // still waiting, and still able to take its real answer
            QVERIFY(reply(target, id, seq));
            QTRY_VERIFY(results.answers.contains(probe));
        }
        QCOMPARE(results.answers.value(probe), !decides);
        QVERIFY(reply(target, id, seq)); // a duplicate of a reply taken changes nothing
        const auto after = prober.probe(m_answering.first(), 128, 5000);
        QTRY_VERIFY(results.answers.contains(after));
        QCOMPARE(results.repeats, 0);
        QCOMPARE(results.answers.size(), 3);
    }

    void onLinkRange_data()
    {
        QTest::addColumn<int>("parallel");
        for (const int parallel : {256, 4096, 65536})
            QTest::addRow("parallel %d", parallel) << parallel;
    }

    // The lab's on-link /22: every probe waits on ARP, most in vain, while the
    // machine-wide neighbour table overflows; every owner must still be listed.
    void onLinkRange()
    {
        QFETCH(int, parallel);
        const QString fping = QStandardPaths::findExecutable(u"fping"_s);
        if (!m_root || fping.isEmpty())
            QSKIP("needs root, and fping to confirm that every owner answers");
        const QStringList owners = qEnvironmentVariable("CORVANE_LAB_ONLINK_ANSWERING").split(u' ');
        const QStringList late = qEnvironmentVariable("CORVANE_LAB_ONLINK_LATE").split(u' ');
        qInfo("owners from CORVANE_LAB_SEED=%s", qgetenv("CORVANE_LAB_ONLINK_SEED").constData());
        QStringList arguments{u"--count"_s, QString::number(2 * late.size())};
        for (const QString &l : late)
            arguments << u"--late"_s << l;
        QProcess responder;
        QVERIFY(startResponder(responder, arguments));
        const auto sh = [](const QString &script) {
            return QProcess::execute(u"sh"_s, {u"-c"_s, script}) == 0;
        };
        QVERIFY2(sh(u"ip neigh flush dev veth-peer && fping -q -r 3 -i 2 "_s + owners.join(u' ')),
                 "set-up: not every owner answers");
        // Entries that outlive the scan push the table (1024 entries) over its limit;
        // a table already full from elsewhere refuses some, which is the state wanted.
        sh(u"ip neigh flush dev veth-peer; for i in $(seq 0 255); do printf 'neigh add "
           "198.19.8.%d lladdr 02:00:00:00:00:%02x dev veth-peer nud reachable\\n' $i $i; "
           "done | ip -force -batch -"_s);

        IcmpEchoProber prober;
        FakeHostResolver resolver;
        ScanRun run(prober, resolver);
        QStringList found;
        connect(&run, &ScanRun::resultsReady, this, [&](const QList<ScanResult> &results) {
            for (const ScanResult &r : results)
                found << r.ipNumberText;
        });
        QSignalSpy finished(&run, &ScanRun::finished);
        run.start(
            {.startText = u"198.19.4.2"_s, .stopText = u"198.19.7.254"_s, .parallel = parallel});
        QVERIFY(finished.wait(120000));
        QCOMPARE(found, owners);
    }
};

QTEST_GUILESS_MAIN(TestPingLab)
#include "tst_pinglab.moc"
