#include "resolver.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

class TestResolver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile resolvConf(u"/etc/resolv.conf"_s);
        if (!qEnvironmentVariableIsSet("CORVANE_DNS_HOSTS") ||
            !resolvConf.open(QIODevice::ReadOnly) ||
            !resolvConf.readAll().startsWith("nameserver 127.0.0.1\n"))
            QSKIP("run through tests/lab/dns-run.sh (private DNS server needed)");
    }

    // "hosts" goes into the private hosts file; the rest is served by dnsmasq.
    void lookup_data()
    {
        QTest::addColumn<bool>("reverse");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("hosts");
        const auto row = [](const char *name, bool reverse, const QString &asked,
                            const QString &answer, const QByteArray &hosts = {}) {
            QTest::newRow(name) << reverse << asked << answer << hosts;
        };
        row("alias: the target's address, asked as typed", false, u"Alias.TEST"_s, u"10.0.0.7"_s);
        row("missing name", false, u"nothere.test"_s, u"ERROR"_s);
        row("address text, leading zeros decimal, answers itself", false, u"010.000.001.254"_s,
            u"10.0.1.254"_s);
        row("octal-looking part is no address, nor a name", false, u"0377.1.1.1"_s, u"ERROR"_s);
        row("NUL in the name asks nothing", false, u"alias.test\u0000.evil"_s, u"ERROR"_s);
        row("first address in the resolver's order, not sorted", false, u"twice.test"_s,
            u"10.6.0.2"_s, "10.6.0.2 twice.test\n10.6.0.1 twice.test\n");
        row("address without a name", true, u"10.7.7.7"_s, {});
        row("hostile name refused by the resolver library", true, u"10.0.0.5"_s, {});
        row("text that is no address asks about all ones", true, u"300.1.1.1"_s, u"all-ones.test"_s,
            "255.255.255.255 all-ones.test\n");
        row("zero is never asked about", true, u"0.0.0.0"_s, {}, "0.0.0.0 zero.test\n");
        row("official name, not an alias; leading zeros decimal", true, u"010.000.001.077"_s,
            u"decimal.test"_s, "10.0.1.77 decimal.test alias\n8.0.1.63 octal.test\n");
        row("control, backslash and bad UTF-8 escaped, UTF-8 and shell text kept", true,
            u"10.5.0.2"_s, u"h\\x01\\xFF\\x5Ccaf\u00e9;$(c)`d`|&<>'\""_s,
            "10.5.0.2 h\x01\xFF\\caf\xC3\xA9;$(c)`d`|&<>'\"\n");
        row("name longer than the buffer cut to fit", true, u"10.5.0.6"_s, QString(511, u'n'),
            "10.5.0.6 " + QByteArray(600, 'n') + '\n');
        QByteArray big = "10.5.0.7 big.test";
        for (int i = 0; i < 500; ++i)
            big += " alias" + QByteArray::number(i);
        row("entry larger than the first buffer", true, u"10.5.0.7"_s, u"big.test"_s, big + '\n');
    }

    void lookup()
    {
        QFETCH(bool, reverse);
        QFETCH(QString, asked);
        QFETCH(QByteArray, hosts);
        // The hosts file is bind-mounted: it keeps its inode, so it is rewritten in place.
        QFile file(qEnvironmentVariable("CORVANE_DNS_HOSTS"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write("127.0.0.1 localhost\n" + hosts) > 0 && file.flush());
        QTEST(reverse ? lookUpHostName(asked) : lookUpIpNumber(asked), "answer");
        const auto asTyped = [] { // the name reaches the server as typed
            QFile log(qEnvironmentVariable("CORVANE_DNS_QUERY_LOG"));
            return log.open(QIODevice::ReadOnly) && log.readAll().contains("query[A] Alias.TEST ");
        };
        QTRY_VERIFY(asked != u"Alias.TEST" || asTyped());
    }
};

QTEST_GUILESS_MAIN(TestResolver)
#include "tst_resolver.moc"
