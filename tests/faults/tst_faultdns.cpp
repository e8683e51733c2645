// Scans with names while the name server fails: one that never answers, one
// that hangs until the user gives up, and one that answers with hostile
// names. Runs through tests/lab/dns-run.sh (private network and mount
// namespaces, dnsmasq on 127.0.0.1 naming 127.0.3.1 to .64); every address of
// 127.0.0.0/8 answers echo requests there.

#include "faultmain.h"
#include "faultwindow.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "messageboxlog.h"
#include "qsettingsstore.h"
#include "rawptrresponder.h"
#include "scansession.h"
#include "settingsfileformat.h"
#include "widgetlookup.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QByteArray LabResolvConf = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";

// The files are bind-mounted: they must keep their inode.
bool rewriteInPlace(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString seriesName(int fourthOctet)
{
    return u"name-%1.faults.test"_s.arg(fourthOctet);
}

// Bytes waiting in the receive queue of UDP 127.0.0.1:53: questions a
// stopped dnsmasq has not read.
qint64 unreadQuestionBytes()
{
    QFile table(u"/proc/net/udp"_s);
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "0100007F:0035")
            return fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return 0;
}

} // namespace

class TestFaultDns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void serverThatNeverAnswers_data();
    void serverThatNeverAnswers();
    void stopAndCloseWhileLookupsHang_data();
    void stopAndCloseWhileLookupsHang();
    void hostileNames_data();
    void hostileNames();

private:
    bool openWindow(FaultWindow &window, bool names);
    void signalServer(int signal);

    QString m_resolvConf;
    QString m_hosts;
    QByteArray m_hostsContents;
    pid_t m_dnsmasq = 0;
    bool m_serverStopped = false;
    QTemporaryDir m_logs;
};

void TestFaultDns::initTestCase()
{
    m_resolvConf = qEnvironmentVariable("CORVANE_DNS_RESOLV_CONF");
    m_hosts = qEnvironmentVariable("CORVANE_DNS_HOSTS");
    if (m_resolvConf.isEmpty() || readAll(u"/etc/resolv.conf"_s) != LabResolvConf)
        QSKIP("runs only through tests/lab/dns-run.sh");
    m_hostsContents = readAll(m_hosts);
    m_dnsmasq =
        readAll(qEnvironmentVariable("CORVANE_DNS_DIR") + u"/dnsmasq.pid"_s).trimmed().toInt();
    QVERIFY(m_dnsmasq > 1);
    QVERIFY(m_logs.isValid());
}

void TestFaultDns::cleanup()
{
    if (m_serverStopped)
        signalServer(SIGCONT);
    QVERIFY(rewriteInPlace(m_resolvConf, LabResolvConf));
    QVERIFY(rewriteInPlace(m_hosts, m_hostsContents));
    QFile::remove(m_logs.path() + u"/ipnums.txt"_s);
}

void TestFaultDns::signalServer(int signal)
{
    QVERIFY(::kill(m_dnsmasq, signal) == 0);
    m_serverStopped = signal == SIGSTOP;
}

bool TestFaultDns::openWindow(FaultWindow &window, bool names)
{
    QString why;
    if (!window.open(&why)) {
        qWarning("%s", qPrintable(why));
        return false;
    }
    child<QCheckBox>(window.form(), "namesCheck")->setChecked(names);
    return window.setLog(m_logs.path(), true, true);
}

void TestFaultDns::serverThatNeverAnswers_data()
{
    QTest::addColumn<bool>("serverStopped");
    QTest::addColumn<bool>("pingMode");

    QTest::newRow("answering server, ping mode: the names") << false << true;
    QTest::newRow("stopped server, ping mode: lines without names") << true << true;
    QTest::newRow("answering server, domain mode: the names") << false << false;
    QTest::newRow("stopped server, domain mode: no lines") << true << false;
}

void TestFaultDns::serverThatNeverAnswers()
{
    QFETCH(bool, serverStopped);
    QFETCH(bool, pingMode);

    FaultWindow window;
    QVERIFY(openWindow(window, true));
    if (!pingMode)
        child<QRadioButton>(window.form(), "domainModeButton")->click();
    QVERIFY(window.setRange(u"127.0.3.1"_s, u"127.0.3.40"_s));
    MessageBoxLog told;
    if (serverStopped)
        signalServer(SIGSTOP);
    // 40 lookups of one second each, 32 at a time, when nothing answers.
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton"), 30000));

    QStringList expected;
    QByteArray expectedLog;
    for (int i = 1; i <= 40; ++i) {
        const QString address = u"127.0.3.%1"_s.arg(i);
        const QString name = serverStopped ? u""_s : seriesName(i);
        if (pingMode) {
            expected.append(FaultWindow::pingLine(address, name));
            expectedLog += FaultWindow::pingLogLine(address, name);
        } else if (!serverStopped) {
            expected.append(address + u'\t' + name);
            expectedLog += (address + u"   "_s + name).toUtf8() + "\r\n";
        }
    }
    QCOMPARE(window.lines(), expected);
    QCOMPARE(window.form()->findChild<ScanSession *>()->resultCount(), expected.size());
    QCOMPARE(readAll(m_logs.path() + u"/ipnums.txt"_s), expectedLog);
    QCOMPARE(told.texts(), QStringList());
    QCOMPARE(child<IpAddressEdit>(window.form(), "startAddressEdit")->text(), u"127.0.3.40"_s);
}

void TestFaultDns::stopAndCloseWhileLookupsHang_data()
{
    QTest::addColumn<bool>("closeInstead");
    QTest::newRow("Stop, then Resume once the server is back") << false;
    QTest::newRow("closing the window") << true;
}

void TestFaultDns::stopAndCloseWhileLookupsHang()
{
    QFETCH(bool, closeInstead);

    // Each lookup would wait half a minute for the stopped server.
    QVERIFY(rewriteInPlace(m_resolvConf, "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n"));
    FaultWindow window;
    QVERIFY(openWindow(window, true));
    QVERIFY(window.setRange(u"127.0.3.1"_s, u"127.0.3.64"_s));
    MainWindow *form = window.form();
    signalServer(SIGSTOP);
    QSignalSpy finished(form, &MainWindow::runFinished);
    QTest::mouseClick(child<QPushButton>(form, "startButton"), Qt::LeftButton);
    QTRY_VERIFY(unreadQuestionBytes() > 0);
    QVERIFY(form->isRunning());
    QCOMPARE(window.lines(), QStringList());

    if (closeInstead) {
        QVERIFY(form->close());
        QCOMPARE(finished.count(), 1);
        QVERIFY(!form->isRunning());
        // The close sequence wrote the first address not yet handled for the next start.
        const SettingsFileContents saved =
            parseSettingsFile(readAll(QSettingsStore::fileName(u"Corvane"_s)));
        QCOMPARE(saved.values.value(u"Options/Start"_s).toString(), u"127.0.3.1"_s);
        QCOMPARE(saved.values.value(u"Options/Stop"_s).toString(), u"127.0.3.64"_s);
        // Let the hanging lookups end before the window and its lookups go away.
        signalServer(SIGCONT);
        return;
    }

    // Stop ends the run long before any lookup could time out.
    QTest::mouseClick(child<QPushButton>(form, "stopButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(form->findChild<ScanSession *>()->stopRequested());
    QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), u"127.0.3.1"_s);
    QCOMPARE(window.lines(), QStringList());

    signalServer(SIGCONT);
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(form, "resumeButton")));
    QStringList expected;
    for (int i = 1; i <= 64; ++i)
        expected.append(FaultWindow::pingLine(u"127.0.3.%1"_s.arg(i), seriesName(i)));
    QCOMPARE(window.lines(), expected);
    QCOMPARE(child<QLabel>(form, "statusLabel")->text(), u"64 pinged IP Numbers"_s);
}

void TestFaultDns::hostileNames_data()
{
    QTest::addColumn<QByteArrayList>("labels"); // served over DNS when not empty
    QTest::addColumn<QByteArray>("hostsName");  // else the hosts file names 127.0.3.1 to .3
    QTest::addColumn<QString>("shown");

    const QByteArray l63a(63, 'a'), l63b(63, 'b'), l63c(63, 'c'), l61d(61, 'd');
    QTest::newRow("DNS: tab and line break")
        << QByteArrayList{"ev\til", "li\nne", "test"} << QByteArray() << u""_s;
    QTest::newRow("DNS: CR LF") << QByteArrayList{"a\r\nb", "test"} << QByteArray() << u""_s;
    QTest::newRow("DNS: shell metacharacters")
        << QByteArrayList{"x;$(rm -rf ~)`y`|z&", "test"} << QByteArray() << u""_s;
    QTest::newRow("DNS: NUL in a label")
        << QByteArrayList{"nul\0byte"_ba, "test"} << QByteArray() << u""_s;
    QTest::newRow("DNS: one label of 255 bytes")
        << QByteArrayList{QByteArray(255, 'x')} << QByteArray() << u""_s;
    QTest::newRow("DNS: four full labels, the longest name")
        << QByteArrayList{l63a, l63b, l63c, l61d} << QByteArray()
        << QString::fromLatin1(l63a + '.' + l63b + '.' + l63c + '.' + l61d);
    QTest::newRow("hosts file: shell metacharacters")
        << QByteArrayList() << "a;b$(c)`d`|e&f<g>'h\"i"_ba << u"a;b$(c)`d`|e&f<g>'h\"i"_s;
    QTest::newRow("hosts file: backslash and UTF-8")
        << QByteArrayList() << "caf\xc3\xa9\\x41.test"_ba << u"café\\x5Cx41.test"_s;
}

void TestFaultDns::hostileNames()
{
    QFETCH(QByteArrayList, labels);
    QFETCH(QByteArray, hostsName);
    QFETCH(QString, shown);

    std::unique_ptr<RawPtrResponder> responder;
    if (!labels.isEmpty()) {
        responder = std::make_unique<RawPtrResponder>(labels);
        QString error;
        QVERIFY2(responder->start(u"127.0.0.2"_s, &error), qPrintable(error));
        // A different size from the lab's file, so the resolver notices at once.
        QVERIFY(rewriteInPlace(m_resolvConf,
                               "# hostile\nnameserver 127.0.0.2\noptions timeout:1 attempts:1\n"));
    } else {
        QByteArray hosts = m_hostsContents;
        for (int i = 1; i <= 3; ++i)
            hosts += "127.0.3." + QByteArray::number(i) + ' ' + hostsName + '\n';
        QVERIFY(rewriteInPlace(m_hosts, hosts));
    }

    FaultWindow window;
    QVERIFY(openWindow(window, true));
    QVERIFY(window.setRange(u"127.0.3.1"_s, u"127.0.3.3"_s));
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton"), 30000));

    QStringList expected;
    QByteArray expectedLog;
    for (int i = 1; i <= 3; ++i) {
        expected.append(FaultWindow::pingLine(u"127.0.3.%1"_s.arg(i), shown));
        expectedLog += FaultWindow::pingLogLine(u"127.0.3.%1"_s.arg(i), shown);
    }
    QCOMPARE(window.lines(), expected);
    QCOMPARE(readAll(m_logs.path() + u"/ipnums.txt"_s), expectedLog);
    if (responder)
        QCOMPARE(responder->questionsReceived(), 3);
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultDns>(argc, argv, {"a private name server"});
}

#include "tst_faultdns.moc"
