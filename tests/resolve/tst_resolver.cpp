// The real resolver against dnsmasq and a private hosts file. Runs only
// through tests/lab/dns-run.sh, which provides both inside private namespaces.
#include "hostresolver.h"
#include "resolver.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString kLongest = QString(63, u'a') + u'.' + QString(63, u'b') + u'.' + QString(63, u'c') +
                         u'.' + QString(56, u'd') + u".test"_s;

// The file is bind-mounted: it must keep its inode, so no save-and-rename.
bool rewriteInPlace(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

// dnsmasq's log messages after @p offset, without time stamp and process.
QStringList logSince(qint64 offset)
{
    QFile log(qEnvironmentVariable("CORVANE_DNS_QUERY_LOG"));
    QStringList messages;
    if (log.open(QIODevice::ReadOnly) && log.seek(offset))
        for (const QString &line : QString::fromUtf8(log.readAll()).split(u'\n'))
            if (const qsizetype start = line.indexOf(u"]: "_s); start >= 0)
                messages.append(line.mid(start + 3));
    return messages;
}

// The questions ("query[PTR] 1.0.0.10.in-addr.arpa") dnsmasq got while @p action
// ran: once a marker asked afterwards is logged, so is every earlier question.
QStringList questionsDuring(const std::function<void()> &action)
{
    static int markers = 0;
    const qint64 start = QFileInfo(qEnvironmentVariable("CORVANE_DNS_QUERY_LOG")).size();
    action();
    const QString marker = u"marker-%1.test"_s.arg(++markers);
    lookUpIpNumber(marker);
    static const QRegularExpression question(u"^(query\\[\\w+\\] .*) from [0-9.]+$"_s);
    QStringList questions;
    const bool logged = QTest::qWaitFor(
        [&] {
            questions.clear();
            for (const QString &message : logSince(start))
                if (const auto match = question.match(message); match.hasMatch())
                    questions.append(match.captured(1));
            return questions.removeAll(u"query[A] "_s + marker) == 1;
        },
        5000);
    return logged ? questions : QStringList{u"(the marker never reached the log)"_s};
}

} // namespace

class TestResolver : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void firstAddressInAnswerOrder();
    void manyThreadsAtOnce();
};

void TestResolver::lookup_data()
{
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<QByteArray>("hosts");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("questions");

    const QByteArray none;
    const auto q = [](const QString &text) { return QStringList{text}; };
    QTest::newRow("alias gives its target's address, name asked as typed")
        << false << none << u"Alias.TEST"_s << u"10.0.0.7"_s << q(u"query[A] Alias.TEST"_s);
    QTest::newRow("missing name") << false << none << u"nothere.test"_s << u"ERROR"_s
                                  << q(u"query[A] nothere.test"_s);
    QTest::newRow("longest DNS name, forward")
        << false << none << kLongest << u"10.0.2.1"_s << q(u"query[A] "_s + kLongest);
    QTest::newRow("address text, leading zeros decimal, answers itself")
        << false << none << u"010.000.001.254"_s << u"10.0.1.254"_s << QStringList();
    QTest::newRow("octal-looking part is no address")
        << false << none << u"0377.1.1.1"_s << u"ERROR"_s << QStringList();
    QTest::newRow("NUL in the name asks nothing")
        << false << none << u"alias.test\u0000.evil"_s << u"ERROR"_s << QStringList();
    QTest::newRow("first of several hosts lines")
        << false << "10.6.0.2 twice.test\n10.6.0.1 twice.test\n"_ba << u"twice.test"_s
        << u"10.6.0.2"_s << QStringList();
    QTest::newRow("official name of a record with an alias")
        << true << none << u"10.0.0.7"_s << u"official.test"_s
        << q(u"query[PTR] 7.0.0.10.in-addr.arpa"_s);
    QTest::newRow("leading zeros read as decimal")
        << true << none << u"010.000.001.254"_s << u"decimal.test"_s
        << q(u"query[PTR] 254.1.0.10.in-addr.arpa"_s);
    QTest::newRow("longest DNS name, reverse")
        << true << none << u"10.0.2.1"_s << kLongest << q(u"query[PTR] 1.2.0.10.in-addr.arpa"_s);
    QTest::newRow("address without a name")
        << true << none << u"10.7.7.7"_s << QString() << q(u"query[PTR] 7.7.7.10.in-addr.arpa"_s);
    QTest::newRow("hostile name refused by the resolver library")
        << true << none << u"10.0.0.5"_s << QString() << q(u"query[PTR] 5.0.0.10.in-addr.arpa"_s);
    QTest::newRow("text that is no address asks about all ones")
        << true << none << u"300.1.1.1"_s << QString()
        << q(u"query[PTR] 255.255.255.255.in-addr.arpa"_s);
    QTest::newRow("zero is never asked about")
        << true << "0.0.0.0 zero.test\n"_ba << u"0.0.0.0"_s << QString() << QStringList();
    QTest::newRow("official name, leading zeros decimal in hosts")
        << true << "10.0.1.77 decimal.test alias\n8.0.1.63 octal.test\n"_ba << u"010.000.001.077"_s
        << u"decimal.test"_s << QStringList();
    QTest::newRow("control bytes and backslash escaped, UTF-8 and shell text kept")
        << true << "10.5.0.2 h\x01\x7F\\caf\xC3\xA9;$(c)`d`|&<>'\"\n"_ba << u"10.5.0.2"_s
        << u"h\\x01\\x7F\\x5Ccafé;$(c)`d`|&<>'\""_s << QStringList();
    QTest::newRow("name longer than the buffer cut to fit")
        << true << "10.5.0.6 "_ba + QByteArray(600, 'n') + "\n"_ba << u"10.5.0.6"_s
        << QString(511, u'n') << QStringList();
    QByteArray aliases = "10.5.0.7 big.test"_ba;
    for (int i = 0; i < 500; ++i)
        aliases += " alias" + QByteArray::number(i);
    QTest::newRow("entry larger than the first buffer")
        << true << aliases + '\n'
        << u"10.5.0.7"_s << u"big.test"_s << QStringList();
}

void TestResolver::lookup()
{
    QFETCH(bool, reverse);
    QFETCH(QByteArray, hosts);
    QFETCH(QString, asked);
    QFETCH(QString, answer);
    QFETCH(QStringList, questions);
    QVERIFY(
        rewriteInPlace(qEnvironmentVariable("CORVANE_DNS_HOSTS"), "127.0.0.1 localhost\n" + hosts));
    const std::unique_ptr<HostResolver> resolver = createSystemHostResolver();
    QString got;
    QCOMPARE(questionsDuring([&] {
                 got = reverse ? resolver->ipNumberToHostName(asked)
                               : resolver->hostNameToIpNumber(asked);
             }),
             questions);
    QCOMPARE(got, answer);
}

void TestResolver::firstAddressInAnswerOrder()
{
    const qint64 start = QFileInfo(qEnvironmentVariable("CORVANE_DNS_QUERY_LOG")).size();
    const QString result = lookUpIpNumber(u"multi.test"_s);
    // dnsmasq logs the records of its answer in the order it sends them.
    QStringList order;
    QVERIFY(QTest::qWaitFor(
        [&] {
            order = logSince(start).filter(u"config multi.test is "_s);
            return order.size() == 5;
        },
        5000));
    QCOMPARE(u"config multi.test is "_s + result, order.first());
    // Neither the configured nor the numeric first: a sorting lookup cannot pass by chance.
    QVERIFY2(result != u"10.1.0.9"_s && result != u"10.1.0.1"_s, qPrintable(order.join(u' ')));
}

// The scan asks from many threads at once; every answer must be its own
// question's, and every lookup must reach the server.
void TestResolver::manyThreadsAtOnce()
{
    std::atomic<int> wrong = 0;
    const QStringList questions = questionsDuring([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 100; ++i) {
                    // dns-run.sh serves 10.4.0.1 on as node-<octet 3>-<octet 4>.threads.test.
                    const quint32 value = 0x0A040001u + quint32((t * 53 + i * 7) % 400);
                    const QString third = QString::number(value >> 8 & 0xFF);
                    const QString fourth = QString::number(value & 0xFF);
                    const QString name = u"node-"_s + third + u'-' + fourth + u".threads.test"_s;
                    const QString number = u"10.4."_s + third + u'.' + fourth;
                    wrong += lookUpHostName(number) != name;
                    wrong += i % 2 == 0 && lookUpIpNumber(name) != number;
                }
            });
        for (std::thread &thread : threads)
            thread.join();
    });
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(questions.size(), 8 * 150);
}

int main(int argc, char *argv[])
{
    // Outside the lab the real name servers would be asked: never run there.
    QFile resolvConf(u"/etc/resolv.conf"_s);
    if (!qEnvironmentVariableIsSet("CORVANE_DNS_QUERY_LOG") ||
        !resolvConf.open(QIODevice::ReadOnly) ||
        !resolvConf.readAll().startsWith("nameserver 127.0.0.1\n")) {
        std::puts("SKIPPED: run through tests/lab/dns-run.sh (private DNS server needed)");
        return 77;
    }
    QCoreApplication app(argc, argv);
    TestResolver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resolver.moc"
