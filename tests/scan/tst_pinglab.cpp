#include "../lab/labprobe.h"
#include "fakehostresolver.h"
#include "icmpechoprober_linux.h"
#include "scanrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <net/if.h>

// Real ICMP sockets inside the network lab of tests/lab/run-in-lab.sh.
class TestPingLab : public QObject
{
    Q_OBJECT
    QList<quint32> m_answering = addressList("CORVANE_LAB_ANSWERING");
    QList<quint32> m_silent = addressList("CORVANE_LAB_SILENT");
    QList<quint32> m_hostUnreachable = addressList("CORVANE_LAB_HOST_UNREACHABLE");
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
        QVERIFY(m_answering.size() >= 4 && m_silent.size() >= 4 && m_hostUnreachable.size() >= 2 &&
                !m_far.isEmpty() && m_scanner && m_peer && m_net);
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
        QTest::addColumn<int>("ttl");
        QTest::addColumn<bool>("expected");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("lateBy"); // answered that late by the responder; 0: by the lab
        const auto row = [](const char *name, const QString &a, int ttl, bool expected,
                            int timeout = 600000, int lateBy = 0) {
            QTest::newRow(name) << a << ttl << expected << timeout << lateBy;
        };
        const quint32 a = m_answering.first();
        row("answering host", text(a), 128, true);
        row("host two hops away with ttl 2", text(m_far.first()), 2, true);
        // Read as octal, the text would name 198.16.1.x, which no route leads to.
        const QStringList o = text(a).split(u'.');
        row("leading zeros are decimal", o[0] + u".0" + o[1] + u".00" + o[2] + u'.' + o[3], 128,
            true);
        row("administratively prohibited",
            text(addressList("CORVANE_LAB_ADMIN_PROHIBITED").value(0)), 128, false);
        row("host unreachable", text(m_hostUnreachable.last()), 128, false);
        row("time exceeded on the way", text(m_far.last()), 1, false);
        row("ttl 0 cannot be sent", text(a), 0, false);
        row("no route", u"198.19.200.1"_s, 128, false);
        row("broadcast of the link", text(m_scanner | 3), 128, false);
        row("limited broadcast", u"255.255.255.255"_s, 128, false);
        row("text that is no address", u"1.2.3.4.5"_s, 128, false);
        // The wait counts from the send and lasts the whole time-out (every
        // caller waits 200 ms); the margins leave room for a loaded machine.
        row("silent host", text(m_silent.first()), 128, false, 400);
        row("reply at 150 ms counts", text(m_net + 110), 128, true, 200, 150);
        row("reply at 330 ms comes too late", text(m_net + 110), 128, false, 200, 330);
    }

    void probe()
    {
        QFETCH(QString, address);
        QFETCH(int, ttl);
        QFETCH(bool, expected);
        QFETCH(int, timeout);
        QFETCH(int, lateBy);
        if (lateBy > 0 && !m_root)
            QSKIP("answering from the peer namespace needs root");
        QProcess responder;
        if (lateBy > 0)
            QVERIFY(startHelper(responder,
                                {u"--on"_s, kPeerInterface, u"--late"_s,
                                 u"%1=%2"_s.arg(address).arg(lateBy), u"--count"_s, u"1"_s},
                                true, "answering"));
        IcmpEchoProber prober;
        QSignalSpy spy(&prober, &EchoProber::finished);
        QElapsedTimer clock;
        clock.start();
        const auto id = prober.probe(address, ttl, timeout);
        QCOMPARE(spy.count(), 0); // never from inside probe()
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
        QCOMPARE(spy.at(0).at(0).value<EchoProber::ProbeId>(), id);
        QCOMPARE(spy.at(0).at(1).toBool(), expected);
        if (timeout < 10000 && !expected)
            QVERIFY2(clock.elapsed() >= timeout, qPrintable(u"after %1 ms"_s.arg(clock.elapsed())));
        QCOMPARE(prober.inFlightCount(), 0);
        if (lateBy > 0) { // answered, in time or not
            QTRY_VERIFY(responder.state() == QProcess::NotRunning);
            QCOMPARE(responder.readAll().trimmed(), "answered 1"_ba);
        }
    }

    void manyInFlightAmidAFlood()
    {
        // The first 256 of the hosts net and the far hosts, 16 times over, while
        // loopback floods: thousands in flight, many to one address at the same time.
        QProcess flood;
        QVERIFY(startHelper(flood, m_root ? QStringList{u"--junk"_s} : QStringList{}, false,
                            "flooding"));
        QList<std::tuple<quint32, int, bool>> cases;
        for (quint32 host = m_net; host < m_net + 256; ++host)
            cases.append({host, 128, m_answering.contains(host)});
        for (const quint32 a : std::as_const(m_far))
            cases << std::tuple{a, 64, true} << std::tuple{a, 1, false}; // time exceeded
        IcmpEchoProber prober;
        Results results(prober);
        QHash<EchoProber::ProbeId, bool> expected;
        for (int round = 0; round < 16; ++round) {
            for (const auto &[a, ttl, answers] : std::as_const(cases))
                expected.insert(prober.probe(a, ttl, 1000), answers);
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(expected.size(), 16 * cases.size()); // every id distinct
        QTRY_COMPARE_WITH_TIMEOUT(results.answers.size(), expected.size(), 30000);
        // Other traffic neither answers for a silent host nor stretches the wait.
        QVERIFY2(clock.elapsed() < 4000, qPrintable(u"took %1 ms"_s.arg(clock.elapsed())));
        QCOMPARE(results.answers, expected);
        QCOMPARE(results.repeats, 0);
        QCOMPARE(prober.inFlightCount() + prober.queuedCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(flood.state() == QProcess::NotRunning, 10000);
        const QByteArray report = flood.readAll();
        QVERIFY2(flood.exitCode() == 0 && report.split(' ').value(1).toLong() > 10000,
                 report.constData());
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
        QVERIFY(!results.answers.contains(queued) && !results.answers.contains(ids.at(0)) &&
                !results.answers.contains(ids.at(1)));
        QVERIFY(results.answers.contains(first) != results.answers.contains(second));
        QCOMPARE(results.answers.size(), m_silent.size());
        QCOMPARE(results.repeats, 0);
        prober.cancel(later); // an id that has finished already is ignored
        prober.cancel(0);
        const auto descriptors = [] {
            return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
        };
        const qsizetype before = descriptors();
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
            answered += ok ? 1 : 0;
            if (answered < 100)
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

    void foreignMessagesAreSkipped_data()
    {
        QTest::addColumn<bool>("error");    // an error about a request, else a reply
        QTest::addColumn<int>("otherHost"); // reply from, or error about, another host
        QTest::addColumn<int>("otherId");   // added to the request's identifier
        QTest::addColumn<int>("otherSeq");  // added to the request's sequence
        QTest::newRow("an error about the request") << true << 0 << 0 << 0;
        QTest::newRow("reply from another address") << false << 1 << 0 << 0;
        QTest::newRow("reply with another identifier") << false << 0 << 0x100 << 0;
        QTest::newRow("reply with another sequence") << false << 0 << 0 << 7;
        QTest::newRow("error about another sequence") << true << 0 << 0 << 1;
        QTest::newRow("error about another host") << true << 1 << 0 << 0;
    }

    void foreignMessagesAreSkipped()
    {
        QFETCH(bool, error);
        QFETCH(int, otherHost);
        QFETCH(int, otherId);
        QFETCH(int, otherSeq);
        const bool decides =
            error && !otherHost && !otherId && !otherSeq; // an error about the request
        if (!m_root)
            QSKIP("watching and forging traffic needs root");
        const int tap =
            ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_protocol = htons(ETH_P_ALL); // only taps of every protocol see what leaves
        link.sll_ifindex = int(::if_nametoindex("veth-peer"));
        const bool bound = ::bind(tap, reinterpret_cast<sockaddr *>(&link), sizeof link) == 0;
        IcmpEchoProber prober;
        Results results(prober);
        const quint32 target = m_silent.at(0), control = m_silent.at(1);
        const auto probe = prober.probe(target, 128, 60000);
        const auto controlProbe = prober.probe(control, 128, 60000);
        QHash<quint32, std::pair<quint16, quint16>> seen;
        QTRY_VERIFY(bound &&
                    (readRequests(tap, seen), seen.contains(target) && seen.contains(control)));
        ::close(tap);
        const auto [id, seq] = seen.value(target);
        const auto reply = [&](quint32 from, quint16 i, quint16 s) {
            return inject(from, m_scanner, icmp(0, icmpEchoRequest(i, s)));
        };
        const quint32 host = otherHost ? m_silent.at(2) : target;
        const auto forgedId = quint16(id + otherId), forgedSeq = quint16(seq + otherSeq);
        const QByteArray quoted = ipPacket(m_scanner, host, icmpEchoRequest(forgedId, forgedSeq));
        QVERIFY(error ? inject(m_peer, m_scanner, icmp(3, QByteArray(8, 0) + quoted))
                      : reply(host, forgedId, forgedSeq));
        // Sent after the forgery on the same way in, so handled after it.
        QVERIFY(reply(control, seen.value(control).first, seen.value(control).second));
        QTRY_VERIFY(results.answers.contains(controlProbe));
        QVERIFY(results.answers.value(controlProbe));
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
        qInfo("owners from CORVANE_LAB_SEED=%s",
              qPrintable(qEnvironmentVariable("CORVANE_LAB_ONLINK_SEED")));
        QStringList arguments{u"--on"_s,      kPeerInterface,
                              u"--count"_s,   QString::number(2 * late.size()),
                              u"--seconds"_s, u"60"_s};
        for (const QString &l : late)
            arguments << u"--late"_s << l;
        QProcess responder;
        QVERIFY(startHelper(responder, arguments, true, "answering"));
        const QStringList flush{u"neigh"_s, u"flush"_s, u"dev"_s, kLabInterface};
        QVERIFY(runTool(u"ip"_s, flush));
        QVERIFY2(runTool(fping, QStringList{u"-q"_s, u"-r"_s, u"3"_s, u"-i"_s, u"2"_s} + owners),
                 "set-up: not every owner answers");
        // Entries that outlive the scan push the table (1024 entries) over its limit;
        // a table already full from elsewhere refuses some, which is the state wanted.
        QVERIFY(runTool(u"ip"_s, flush));
        QByteArray entries;
        for (int i = 0; i < 256; ++i) {
            entries +=
                u"neigh add 198.19.8.%1 lladdr 02:00:00:00:00:%2 dev %3 nud reachable\n"_s.arg(i)
                    .arg(i, 2, 16, QChar(u'0'))
                    .arg(kLabInterface)
                    .toLatin1();
        }
        runTool(u"ip"_s, {u"-force"_s, u"-batch"_s, u"-"_s}, entries);

        IcmpEchoProber prober;
        FakeHostResolver resolver;
        ScanRun run(prober, resolver);
        QStringList found;
        connect(&run, &ScanRun::resultsReady, this, [&](const QList<ScanResult> &results) {
            for (const ScanResult &result : results)
                found << result.ipNumberText;
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
