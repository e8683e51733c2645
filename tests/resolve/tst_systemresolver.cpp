// The real resolver against dnsmasq and a private hosts file. Runs only
// through tests/lab/dns-run.sh, which provides both inside private namespaces.
#include "hostresolver.h"
#include "rawptrresponder.h"
#include "resolver.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString NoQuestion = u"(none)"_s;
const QByteArray BaseHosts = "127.0.0.1\tlocalhost\n"_ba;

QString longestDnsName()
{
    return QString(63, u'a') + u'.' + QString(63, u'b') + u'.' + QString(63, u'c') + u'.' +
           QString(56, u'd') + u".test"_s;
}

bool insideDnsLab()
{
    QFile resolvConf(u"/etc/resolv.conf"_s);
    return qEnvironmentVariableIsSet("CORVANE_DNS_QUERY_LOG") &&
           resolvConf.open(QIODevice::ReadOnly) &&
           resolvConf.readAll().startsWith("nameserver 127.0.0.1\n");
}

bool rewriteInPlace(const QString &path, const QByteArray &contents)
{
    // The file is bind-mounted: it must keep its inode, so no save-and-rename.
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

} // namespace

class TestSystemResolver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void forwardLookup_data();
    void forwardLookup();
    void forwardGivesFirstAddressInAnswerOrder();
    void reverseLookup_data();
    void reverseLookup();
    void reverseLookupOfNamesRefusedOnTheWire_data();
    void reverseLookupOfNamesRefusedOnTheWire();
    void manyThreadsAtOnce();
    void systemHostResolverAsksTheSameRoutines();

private:
    QStringList logMessagesSince(qint64 offset) const;
    QStringList questionsDuring(const std::function<void()> &action);

    QString m_queryLog;
    QString m_hosts;
    QString m_resolvConf;
    int m_markers = 0;
};

void TestSystemResolver::initTestCase()
{
    m_queryLog = qEnvironmentVariable("CORVANE_DNS_QUERY_LOG");
    m_hosts = qEnvironmentVariable("CORVANE_DNS_HOSTS");
    m_resolvConf = qEnvironmentVariable("CORVANE_DNS_RESOLV_CONF");
    QVERIFY(QFileInfo::exists(m_queryLog));
    QVERIFY(QFileInfo::exists(m_hosts));
    QVERIFY(QFileInfo::exists(m_resolvConf));
}

void TestSystemResolver::init()
{
    QVERIFY(rewriteInPlace(m_hosts, BaseHosts));
}

// The text of each dnsmasq log line written after @p offset, without its
// time stamp and process.
QStringList TestSystemResolver::logMessagesSince(qint64 offset) const
{
    QFile log(m_queryLog);
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return {};
    QStringList messages;
    const QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype start = line.indexOf(u"]: "_s);
        if (start >= 0)
            messages.append(line.mid(start + 3));
    }
    return messages;
}

// The questions ("query[PTR] 1.0.0.10.in-addr.arpa") dnsmasq received while
// @p action ran. dnsmasq logs questions in the order they come and each lookup
// waits for its answer, so once a marker question asked afterwards shows up,
// every question asked by the action is in the log.
QStringList TestSystemResolver::questionsDuring(const std::function<void()> &action)
{
    const qint64 start = QFileInfo(m_queryLog).size();
    action();
    const QString marker = u"query[A] marker-%1.test"_s.arg(++m_markers);
    lookUpIpNumber(marker.sliced(9));

    static const QRegularExpression question(u"^(query\\[\\w+\\] .*) from [0-9.]+$"_s);
    QStringList questions;
    const bool markerSeen = QTest::qWaitFor(
        [&] {
            questions.clear();
            for (const QString &message : logMessagesSince(start)) {
                const QRegularExpressionMatch match = question.match(message);
                if (match.hasMatch())
                    questions.append(match.captured(1));
            }
            return questions.contains(marker);
        },
        5000);
    if (!markerSeen)
        return {u"(the marker question never reached the log)"_s};
    questions.removeAll(marker);
    return questions;
}

void TestSystemResolver::forwardLookup_data()
{
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("question");

    QTest::newRow("alias gives its target's address")
        << QByteArray() << u"alias.test"_s << u"10.0.0.7"_s << u"query[A] alias.test"_s;
    QTest::newRow("name asked exactly as typed")
        << QByteArray() << u"Official.TEST"_s << u"10.0.0.7"_s << u"query[A] Official.TEST"_s;
    QTest::newRow("missing name") << QByteArray() << u"nothere.test"_s << u"ERROR"_s
                                  << u"query[A] nothere.test"_s;
    QTest::newRow("longest DNS name")
        << QByteArray() << longestDnsName() << u"10.0.2.1"_s << u"query[A] "_s + longestDnsName();

    QTest::newRow("dotted text gives itself")
        << QByteArray() << u"10.20.30.40"_s << u"10.20.30.40"_s << NoQuestion;
    QTest::newRow("all ones gives itself")
        << QByteArray() << u"255.255.255.255"_s << u"255.255.255.255"_s << NoQuestion;
    QTest::newRow("leading zeros read as decimal")
        << QByteArray() << u"010.000.001.254"_s << u"10.0.1.254"_s << NoQuestion;
    QTest::newRow("octal-looking part is no address")
        << QByteArray() << u"0377.1.1.1"_s << u"ERROR"_s << NoQuestion;
    QTest::newRow("digits and dots that are no address")
        << QByteArray() << u"1.2.3.4."_s << u"ERROR"_s << NoQuestion;
    QTest::newRow("hex parts") << QByteArray() << u"0x0A.0.0.1"_s << u"10.0.0.1"_s << NoQuestion;
    QTest::newRow("two-part form") << QByteArray() << u"10.1"_s << u"10.0.0.1"_s << NoQuestion;
    QTest::newRow("empty name") << QByteArray() << QString() << u"ERROR"_s << NoQuestion;
    QTest::newRow("NUL would cut the name short")
        << QByteArray() << u"alias.test"_s + QChar(u'\0') + u".evil"_s << u"ERROR"_s << NoQuestion;

    QTest::newRow("first of several hosts lines") << "10.6.0.2 twice.test\n10.6.0.1 twice.test\n"_ba
                                                  << u"twice.test"_s << u"10.6.0.2"_s << NoQuestion;
    QTest::newRow("hosts alias") << "10.6.0.3 canon.test other-name\n"_ba << u"other-name"_s
                                 << u"10.6.0.3"_s << NoQuestion;
}

void TestSystemResolver::forwardLookup()
{
    QFETCH(QByteArray, hosts);
    QFETCH(QString, hostName);
    QFETCH(QString, expected);
    QFETCH(QString, question);
    QVERIFY(rewriteInPlace(m_hosts, BaseHosts + hosts));

    QString result;
    const QStringList questions = questionsDuring([&] { result = lookUpIpNumber(hostName); });
    QCOMPARE(result, expected);
    QCOMPARE(questions, question == NoQuestion ? QStringList() : QStringList{question});
}

void TestSystemResolver::forwardGivesFirstAddressInAnswerOrder()
{
    const qint64 start = QFileInfo(m_queryLog).size();
    const QString result = lookUpIpNumber(u"multi.test"_s);

    // dnsmasq logs the records of its answer in the order it sends them.
    QStringList answerOrder;
    QVERIFY(QTest::qWaitFor(
        [&] {
            answerOrder.clear();
            for (const QString &message : logMessagesSince(start)) {
                if (message.startsWith(u"config multi.test is "_s))
                    answerOrder.append(message.sliced(21));
            }
            return answerOrder.size() == 5;
        },
        5000));
    QCOMPARE(result, answerOrder.first());
    // The answer order is neither the configured nor the numeric one, so a
    // lookup that sorts or takes another record cannot pass by chance.
    QVERIFY2(result != u"10.1.0.9"_s && result != u"10.1.0.1"_s,
             qPrintable(u"dnsmasq's answer order changed: "_s + answerOrder.join(u' ')));
}

void TestSystemResolver::reverseLookup_data()
{
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<QString>("ipNumber");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("question");

    QTest::newRow("official name of a record with an alias")
        << QByteArray() << u"10.0.0.7"_s << u"official.test"_s
        << u"query[PTR] 7.0.0.10.in-addr.arpa"_s;
    QTest::newRow("leading zeros read as decimal")
        << QByteArray() << u"010.000.001.254"_s << u"decimal.test"_s
        << u"query[PTR] 254.1.0.10.in-addr.arpa"_s;
    QTest::newRow("longest DNS name") << QByteArray() << u"10.0.2.1"_s << longestDnsName()
                                      << u"query[PTR] 1.2.0.10.in-addr.arpa"_s;
    QTest::newRow("address without a name")
        << QByteArray() << u"10.7.7.7"_s << QString() << u"query[PTR] 7.7.7.10.in-addr.arpa"_s;
    QTest::newRow("shell metacharacters refused by the resolver")
        << QByteArray() << u"10.0.0.5"_s << QString() << u"query[PTR] 5.0.0.10.in-addr.arpa"_s;
    QTest::newRow("blank refused by the resolver")
        << QByteArray() << u"10.0.0.6"_s << QString() << u"query[PTR] 6.0.0.10.in-addr.arpa"_s;

    const QString allOnes = u"query[PTR] 255.255.255.255.in-addr.arpa"_s;
    QTest::newRow("octet out of range asks about all ones")
        << QByteArray() << u"300.1.1.1"_s << QString() << allOnes;
    QTest::newRow("letters ask about all ones")
        << QByteArray() << u"w.x.y.z"_s << QString() << allOnes;
    QTest::newRow("empty text asks about all ones")
        << QByteArray() << QString() << QString() << allOnes;
    QTest::newRow("rejected text answered from hosts")
        << "255.255.255.255 all-ones.test\n"_ba << u"300.1.1.1"_s << u"all-ones.test"_s
        << NoQuestion;

    // The hosts file names 0.0.0.0, so any question about it would show.
    const QByteArray zeroNamed = "0.0.0.0 zero.test\n"_ba;
    QTest::newRow("zero asks nothing") << zeroNamed << u"0.0.0.0"_s << QString() << NoQuestion;
    QTest::newRow("zero with leading zeros asks nothing")
        << zeroNamed << u"000.0.0.00"_s << QString() << NoQuestion;
    QTest::newRow("one-part zero asks nothing") << zeroNamed << u"0"_s << QString() << NoQuestion;

    QTest::newRow("official name, not an alias")
        << "10.5.0.1 first-name.test alias-one alias-two\n"_ba << u"10.5.0.1"_s
        << u"first-name.test"_s << NoQuestion;
    QTest::newRow("leading zeros decimal in hosts too")
        << "10.0.1.77 decimal-hosts.test\n8.0.1.63 octal-hosts.test\n"_ba << u"010.000.001.077"_s
        << u"decimal-hosts.test"_s << NoQuestion;
    QTest::newRow("control bytes escaped")
        << "10.5.0.2 h\x01"
           "e\x1Bl\x7Flo\n"_ba
        << u"10.5.0.2"_s << u"h\\x01e\\x1Bl\\x7Flo"_s << NoQuestion;
    QTest::newRow("UTF-8 name shown as text")
        << "10.5.0.3 caf\xC3\xA9.test\n"_ba << u"10.5.0.3"_s << u"café.test"_s << NoQuestion;
    QTest::newRow("backslash escaped") << "10.5.0.4 back\\slash.test\n"_ba << u"10.5.0.4"_s
                                       << u"back\\x5Cslash.test"_s << NoQuestion;
    QTest::newRow("shell metacharacters kept visible")
        << "10.5.0.5 a;b$(c)`d`|e&f<g>'h\"i\n"_ba << u"10.5.0.5"_s << u"a;b$(c)`d`|e&f<g>'h\"i"_s
        << NoQuestion;
    QTest::newRow("name longer than the buffer cut to fit")
        << "10.5.0.6 "_ba + QByteArray(600, 'n') + "\n"_ba << u"10.5.0.6"_s << QString(511, u'n')
        << NoQuestion;

    QByteArray manyAliases = "10.5.0.7 big.test"_ba;
    for (int i = 0; i < 500; ++i)
        manyAliases += " alias" + QByteArray::number(i).rightJustified(4, '0');
    QTest::newRow("entry larger than the first buffer")
        << manyAliases + "\n"_ba << u"10.5.0.7"_s << u"big.test"_s << NoQuestion;
}

void TestSystemResolver::reverseLookup()
{
    QFETCH(QByteArray, hosts);
    QFETCH(QString, ipNumber);
    QFETCH(QString, expected);
    QFETCH(QString, question);
    QVERIFY(rewriteInPlace(m_hosts, BaseHosts + hosts));

    QString result = u"(not called)"_s;
    const QStringList questions = questionsDuring([&] { result = lookUpHostName(ipNumber); });
    QCOMPARE(result, expected);
    QCOMPARE(questions, question == NoQuestion ? QStringList() : QStringList{question});
}

void TestSystemResolver::reverseLookupOfNamesRefusedOnTheWire_data()
{
    QTest::addColumn<QByteArrayList>("labels");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain name passes") << QByteArrayList{"plain", "test"} << u"plain.test"_s;
    QTest::newRow("tab and newline") << QByteArrayList{"ev\til", "li\nne", "test"} << QString();
    QTest::newRow("CR LF") << QByteArrayList{"a\r\nb", "test"} << QString();
    QTest::newRow("shell metacharacters") << QByteArrayList{"x;$(rm)`y`|z&", "test"} << QString();
    QTest::newRow("backslash") << QByteArrayList{"back\\slash", "test"} << QString();
    QTest::newRow("non-ASCII") << QByteArrayList{"caf\xC3\xA9", "test"} << QString();
}

// dnsmasq will not serve such names, so a raw server on 127.0.0.2 does, and
// the resolver is pointed at it for the duration.
void TestSystemResolver::reverseLookupOfNamesRefusedOnTheWire()
{
    QFETCH(QByteArrayList, labels);
    QFETCH(QString, expected);

    RawPtrResponder responder(labels);
    QString error;
    QVERIFY2(responder.start(u"127.0.0.2"_s, &error), qPrintable(error));

    QFile resolvConf(m_resolvConf);
    QVERIFY(resolvConf.open(QIODevice::ReadOnly));
    const QByteArray original = resolvConf.readAll();
    resolvConf.close();
    const auto restore = qScopeGuard([&] { rewriteInPlace(m_resolvConf, original); });
    // A different size, so the resolver notices the change at once.
    QVERIFY(rewriteInPlace(m_resolvConf, "# raw responder\nnameserver 127.0.0.2\n"
                                         "options timeout:1 attempts:1\n"_ba));

    QCOMPARE(lookUpHostName(u"10.0.0.9"_s), expected);
    QCOMPARE(responder.questionsReceived(), 1);
}

// The scan asks from many threads at once; every answer must be the one for
// its own question.
void TestSystemResolver::manyThreadsAtOnce()
{
    // dns-run.sh serves 10.4.0.1 to 10.4.1.144 as node-<octet 3>-<octet 4>.threads.test.
    constexpr int SeriesSize = 400;
    constexpr int Threads = 8;
    constexpr int LookupsPerThread = 200;

    QMutex mutex;
    QStringList wrong;
    int forwardLookups = 0;
    const auto check = [&](const QString &what, const QString &got, const QString &want) {
        if (got == want)
            return;
        QMutexLocker lock(&mutex);
        if (wrong.size() < 10)
            wrong.append(what + u" gave \""_s + got + u"\", not \""_s + want + u'"');
    };

    const QStringList questions = questionsDuring([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < LookupsPerThread; ++i) {
                    const int n = (t * 53 + i * 7) % SeriesSize;
                    const quint32 value = 0x0A040001u + static_cast<quint32>(n);
                    const QString ipNumber =
                        u"10.4.%1.%2"_s.arg(value >> 8 & 0xFF).arg(value & 0xFF);
                    const QString name =
                        u"node-%1-%2.threads.test"_s.arg(value >> 8 & 0xFF).arg(value & 0xFF);
                    check(ipNumber, lookUpHostName(ipNumber), name);
                    if (i % 2 == 0) {
                        check(name, lookUpIpNumber(name), ipNumber);
                        QMutexLocker lock(&mutex);
                        ++forwardLookups;
                    }
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
    });

    QCOMPARE(wrong, QStringList());
    // Every lookup reached the server: nothing was answered from a stale copy.
    QCOMPARE(questions.size(), Threads * LookupsPerThread + forwardLookups);
}

void TestSystemResolver::systemHostResolverAsksTheSameRoutines()
{
    const std::unique_ptr<HostResolver> resolver = createSystemHostResolver();
    QVERIFY(resolver);
    QCOMPARE(resolver->hostNameToIpNumber(u"alias.test"_s), u"10.0.0.7"_s);
    QCOMPARE(resolver->hostNameToIpNumber(u"nothere.test"_s), u"ERROR"_s);
    QCOMPARE(resolver->ipNumberToHostName(u"10.0.0.7"_s), u"official.test"_s);
    QCOMPARE(resolver->ipNumberToHostName(u"0.0.0.0"_s), QString());
}

int main(int argc, char *argv[])
{
    // Outside the lab the real name servers would be asked: never run there.
    if (!insideDnsLab()) {
        std::puts("SKIPPED: run through tests/lab/dns-run.sh (private DNS server needed)");
        return 77;
    }
    QCoreApplication app(argc, argv);
    TestSystemResolver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_systemresolver.moc"
