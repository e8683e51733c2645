// The main window in private namespaces (tests/lab), with the network under it
// failing. dns*: through dns-run.sh, whose dnsmasq names 127.0.3.1 to .64, a
// name server that stops answering or answers with hostile names. echo*: as
// root without raw sockets and with ping_group_range "1 0", echo requests not
// permitted until the test lets group 0 in. lab*: a /16 with names against a
// dnsmasq making up every name, and a /24 while the scanner is flooded.

#include "dialoganswerer.h"
#include "faultwindow.h"
#include "qsettingsstore.h"
#include "rawptrresponder.h"
#include "settingsfileformat.h"
#include "testfiles.h"

#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

namespace {

const QByteArray kResolvConf = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";

QStringList series(int count, const QString &pattern) // 1 to count in @p pattern
{
    QStringList result;
    for (int i = 1; i <= count; ++i)
        result.append(pattern.arg(i));
    return result;
}

QStringList labList(const char *variable)
{
    return qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts);
}

// Bytes in the receive queue of UDP 127.0.0.1:53: questions a stopped dnsmasq has not read.
qint64 unreadQuestionBytes()
{
    for (const QByteArray &line : readFile(u"/proc/net/udp"_s).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "0100007F:0035")
            return fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return 0;
}

// Only ever the lab's scanner namespace, never the machine's.
bool setPingGroupRange(const QByteArray &range)
{
    struct stat own
    {
    }, lab{};
    const QByteArray labPath = "/run/netns/" + qgetenv("CORVANE_LAB_SCANNER_NS");
    return !qEnvironmentVariableIsEmpty("CORVANE_LAB_SCANNER_NS") &&
           ::stat("/proc/self/ns/net", &own) == 0 && ::stat(labPath.constData(), &lab) == 0 &&
           own.st_dev == lab.st_dev && own.st_ino == lab.st_ino &&
           writeFile(u"/proc/sys/net/ipv4/ping_group_range"_s, range + '\n');
}

// The marks of the IP Number List (127.0.0.1 and an answering lab host first),
// opened from the window, after F5 when @p beforeF5 is given; then Esc closes it.
QStringList ipListMarks(FaultWindow &window, const std::function<void()> &beforeF5 = {})
{
    const QString answering = labList("CORVANE_LAB_ANSWERING").value(0);
    window.settings->writeSetting(u"Corvane"_s, u"Options"_s, u"IP_0"_s, u"127.0.0.1"_s);
    window.settings->writeSetting(u"Corvane"_s, u"Options"_s, u"IP_1"_s, answering);
    QStringList marks;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *list = QApplication::activeModalWidget();
        auto *grid = list ? list->findChild<QTableWidget *>(u"grid"_s) : nullptr;
        if (!grid)
            return;
        poll.stop();
        auto *editor = child<QLineEdit>(list, "cellEditor");
        if (beforeF5) {
            beforeF5();
            QTest::keyClick(editor, Qt::Key_F5);
        }
        for (int row = 0; row < grid->rowCount(); ++row)
            marks.append(grid->item(row, 2) ? grid->item(row, 2)->text() : QString());
        QTest::keyClick(editor, Qt::Key_Escape);
    });
    poll.start(20);
    QTest::mouseClick(window.get("listButton"), Qt::LeftButton);
    return marks;
}

} // namespace

class TestFaultLab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dnsServerStops_data();
    void dnsServerStops();
    void dnsStopAndCloseWhileLookupsHang_data();
    void dnsStopAndCloseWhileLookupsHang();
    void dnsHostileNames_data();
    void dnsHostileNames();
    void echoRefusedUntilAllowed();
    void labWholeSlash16WithNames();
    void labFloodLeavesTheResultAlone();

private:
    bool openWindow(FaultWindow &window);
    void signalServer(int signal) { QCOMPARE(::kill(m_dnsmasq, signal), 0); }
    QString m_resolvConf = qEnvironmentVariable("CORVANE_DNS_RESOLV_CONF");
    QString m_hosts = qEnvironmentVariable("CORVANE_DNS_HOSTS");
    QByteArray m_hostsContents = readFile(m_hosts);
    pid_t m_dnsmasq =
        readFile(qEnvironmentVariable("CORVANE_DNS_DIR") + u"/dnsmasq.pid"_s).trimmed().toInt();
    QTemporaryDir m_logs;
    QString m_log = m_logs.path() + u"/ipnums.txt"_s;
};

void TestFaultLab::init()
{
    const QByteArray name = QTest::currentTestFunction();
    if (geteuid() != 0 || (!name.startsWith("dns") && !qEnvironmentVariableIsSet("CORVANE_LAB")))
        QSKIP("runs as root in private namespaces (tests/lab)");
    if (name.startsWith("dns") &&
        (m_dnsmasq <= 1 || readFile(u"/etc/resolv.conf"_s) != kResolvConf))
        QSKIP("runs only through tests/lab/dns-run.sh");
    if (name.startsWith("echo") && !setPingGroupRange("1 0"))
        QSKIP("runs in the lab's scanner namespace, without raw sockets (CORVANE_LAB_DROP_CAPS)");
}

void TestFaultLab::cleanup()
{
    if (!QByteArray(QTest::currentTestFunction()).startsWith("dns"))
        return;
    ::kill(m_dnsmasq, SIGCONT);
    // The files are bind-mounted: they keep their inode.
    QVERIFY(writeFile(m_resolvConf, kResolvConf) && writeFile(m_hosts, m_hostsContents));
    QFile::remove(m_log);
}

bool TestFaultLab::openWindow(FaultWindow &window)
{
    if (!window.open())
        return false;
    window.get<QCheckBox>("namesCheck")->setChecked(true);
    return window.setLog(m_logs.path(), true);
}

void TestFaultLab::dnsServerStops_data()
{
    QTest::addColumn<bool>("serverStopped");
    QTest::addColumn<bool>("pingMode");
    QTest::newRow("answering server, ping mode: the names") << false << true;
    QTest::newRow("stopped server, ping mode: lines without names") << true << true;
    QTest::newRow("answering server, domain mode: the names") << false << false;
    QTest::newRow("stopped server, domain mode: no lines") << true << false;
}

void TestFaultLab::dnsServerStops()
{
    QFETCH(bool, serverStopped);
    QFETCH(bool, pingMode);
    FaultWindow window;
    QVERIFY(openWindow(window));
    if (!pingMode)
        window.get<QRadioButton>("domainModeButton")->click();
    window.setRange(u"127.0.3.1"_s, u"127.0.3.40"_s);
    DialogAnswerer told;
    if (serverStopped)
        signalServer(SIGSTOP);
    // 40 lookups of one second each, 32 at a time, when nothing answers.
    QVERIFY(window.run("startButton", 30000));

    const QStringList addresses = series(40, u"127.0.3.%1"_s);
    const QStringList names =
        serverStopped ? QStringList(40, u""_s) : series(40, u"name-%1.faults.test"_s);
    QStringList lines = pingLines(addresses, names);
    QByteArray log = pingLog(addresses, names);
    QString counter = u"40 pinged IP Numbers"_s;
    if (!pingMode) {
        lines.clear();
        log.clear();
        counter = u"40 domain names"_s;
        for (qsizetype i = 0; i < 40 && !serverStopped; ++i) {
            lines.append(addresses[i] + u'\t' + names[i]);
            log += (addresses[i] + u"   "_s + names[i]).toUtf8() + "\r\n";
        }
    }
    QCOMPARE(window.lines(), lines);
    QCOMPARE(window.counter(), lines.isEmpty() ? QString() : counter);
    QCOMPARE(readFile(m_log), log);
    QCOMPARE(told.texts(), QStringList());
    QCOMPARE(window.get<IpAddressEdit>("startAddressEdit")->text(), u"127.0.3.40"_s);
}

void TestFaultLab::dnsStopAndCloseWhileLookupsHang_data()
{
    QTest::addColumn<bool>("closeInstead");
    QTest::newRow("Stop, then Resume once the server is back") << false;
    QTest::newRow("closing the window") << true;
}

void TestFaultLab::dnsStopAndCloseWhileLookupsHang()
{
    QFETCH(bool, closeInstead);
    // Each lookup would wait half a minute for the stopped server.
    QVERIFY(writeFile(m_resolvConf, "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n"));
    FaultWindow window;
    QVERIFY(openWindow(window));
    window.setRange(u"127.0.3.1"_s, u"127.0.3.64"_s);
    signalServer(SIGSTOP);
    QSignalSpy finished(window.form.get(), &MainWindow::runFinished);
    QTest::mouseClick(window.get("startButton"), Qt::LeftButton);
    QTRY_VERIFY(unreadQuestionBytes() > 0);
    QVERIFY(window.form->isRunning());
    QCOMPARE(window.lines(), QStringList());

    // Both end the run long before any lookup could time out.
    if (closeInstead)
        QVERIFY(window.form->close());
    else
        QTest::mouseClick(window.get("stopButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!window.form->isRunning());
    if (closeInstead) { // the close wrote the first address not yet handled
        const QVariantMap saved =
            parseSettingsFile(readFile(QSettingsStore::fileName(u"Corvane"_s))).values;
        QCOMPARE(saved.value(u"Options/Start"_s).toString(), u"127.0.3.1"_s);
        QCOMPARE(saved.value(u"Options/Stop"_s).toString(), u"127.0.3.64"_s);
        signalServer(SIGCONT); // the hanging lookups end before the window goes
        return;
    }
    QCOMPARE(window.get<IpAddressEdit>("startAddressEdit")->text(), u"127.0.3.1"_s);
    QCOMPARE(window.lines(), QStringList());
    signalServer(SIGCONT);
    QVERIFY(window.run("resumeButton"));
    QCOMPARE(window.lines(),
             pingLines(series(64, u"127.0.3.%1"_s), series(64, u"name-%1.faults.test"_s)));
    QCOMPARE(window.counter(), u"64 pinged IP Numbers"_s);
}

void TestFaultLab::dnsHostileNames_data()
{
    QTest::addColumn<QByteArrayList>("labels"); // served over DNS when not empty
    QTest::addColumn<QByteArray>("hostsName");  // else the hosts file names 127.0.3.1 to .3
    QTest::addColumn<QString>("shown");
    const QByteArray a(63, 'a'), b(63, 'b'), c(63, 'c'), d(61, 'd');
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
        << QByteArrayList{a, b, c, d} << QByteArray()
        << QString::fromLatin1(a + '.' + b + '.' + c + '.' + d);
    QTest::newRow("hosts file: shell metacharacters")
        << QByteArrayList() << "a;b$(c)`d`|e&f<g>'h\"i"_ba << u"a;b$(c)`d`|e&f<g>'h\"i"_s;
    QTest::newRow("hosts file: backslash and UTF-8")
        << QByteArrayList() << "caf\xc3\xa9\\x41.test"_ba << u"café\\x5Cx41.test"_s;
}

void TestFaultLab::dnsHostileNames()
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
        QVERIFY(writeFile(m_resolvConf,
                          "# hostile\nnameserver 127.0.0.2\noptions timeout:1 attempts:1\n"));
    } else {
        QByteArray hosts = m_hostsContents;
        for (int i = 1; i <= 3; ++i)
            hosts += "127.0.3." + QByteArray::number(i) + ' ' + hostsName + '\n';
        QVERIFY(writeFile(m_hosts, hosts));
    }
    FaultWindow window;
    QVERIFY(openWindow(window));
    window.setRange(u"127.0.3.1"_s, u"127.0.3.3"_s);
    QVERIFY(window.run("startButton", 30000));
    const QStringList addresses = series(3, u"127.0.3.%1"_s);
    QCOMPARE(window.lines(), pingLines(addresses, QStringList(3, shown)));
    QCOMPARE(readFile(m_log), pingLog(addresses, QStringList(3, shown)));
    if (responder)
        QCOMPARE(responder->questionsReceived(), 3);
}

// Start says so once per press, with the beep, and changes nothing; the IP
// Number List once per probing, its marks left empty; Get Domain, which sends
// no echo request, still runs. Once allowed, Start and the list send, without a restart.
void TestFaultLab::echoRefusedUntilAllowed()
{
    FaultWindow window;
    QVERIFY(!window.prober->isAvailable());
    QVERIFY(window.open());
    window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    window.get<QListWidget>("resultList")->addItem(u"a line from before"_s);
    DialogAnswerer told;
    const QString message = echoUnavailableMessage(window.prober->unavailableReason());
    const auto checkTold = [&](qsizetype times) {
        QTRY_COMPARE(told.texts(), QStringList(times, message));
        QCOMPARE(told.seen().last().title, u"Corvane"_s);
        QCOMPARE(told.seen().last().icon, QMessageBox::Warning);
        QVERIFY2(told.seen().last().beeped, "no beep before the message");
    };
    for (int press = 1; press <= 2; ++press) {
        QTest::mouseClick(window.get("startButton"), Qt::LeftButton);
        checkTold(press);
        QVERIFY(!window.form->isRunning() && window.get("startButton")->isEnabled());
        QVERIFY(!window.get("stopButton")->isEnabled());
        QCOMPARE(window.lines(), QStringList{u"a line from before"_s});
    }
    qsizetype toldBeforeF5 = 0;
    QCOMPARE(ipListMarks(window, [&] { toldBeforeF5 = told.seen().size(); }),
             QStringList(100, QString()));
    QCOMPARE(toldBeforeF5, 3);
    checkTold(4);

    window.get<QRadioButton>("domainModeButton")->click();
    QVERIFY(window.run());
    window.get<QRadioButton>("pingModeButton")->click();
    window.get<QCheckBox>("namesCheck")->setChecked(false);
    QCOMPARE(told.seen().size(), 4);

    const auto closeAgain = qScopeGuard([] { setPingGroupRange("1 0"); });
    QVERIFY(setPingGroupRange("0 0"));
    window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    QVERIFY(window.run());
    QCOMPARE(window.lines(), pingLines(series(10, u"198.18.1.%1"_s)));
    QCOMPARE(ipListMarks(window).mid(0, 3), (QStringList{u"X"_s, u"X"_s, QString()}));
    QCOMPARE(told.seen().size(), 4);
}

void TestFaultLab::labWholeSlash16WithNames()
{
    const QString queryLog = qEnvironmentVariable("CORVANE_DNS_QUERY_LOG");
    if (qEnvironmentVariable("CORVANE_LAB_NET") != u"198.18.0.0/16" || queryLog.isEmpty())
        QSKIP("needs the lab with CORVANE_LAB_HOSTS_NET=198.18.0.0/16 and dns-run.sh");
    FaultWindow window;
    QVERIFY(openWindow(window));
    window.setRange(u"198.18.0.0"_s, u"198.18.255.255"_s);
    DialogAnswerer told;
    const qsizetype questionsBefore = readFile(queryLog).count("query[PTR]");
    QVERIFY(window.run("startButton", 240000));

    // dnsmasq makes up a name for every address: host-198-18-0-1.big.test.
    const QStringList answering = labList("CORVANE_LAB_ANSWERING");
    QStringList names;
    for (const QString &address : answering)
        names.append(u"host-"_s + QString(address).replace(u'.', u'-') + u".big.test"_s);
    QCOMPARE(answering.size(), 10);
    QCOMPARE(window.lines(), pingLines(answering, names));
    QCOMPARE(window.counter(), u"10 pinged IP Numbers"_s);
    QCOMPARE(readFile(m_log), pingLog(answering, names));
    QCOMPARE(told.texts(), QStringList());
    // Every address of the range was asked about exactly once.
    QCOMPARE(readFile(queryLog).count("query[PTR]") - questionsBefore, 65536);
}

void TestFaultLab::labFloodLeavesTheResultAlone()
{
    const QString flood = qEnvironmentVariable("CORVANE_PINGFLOOD");
    if (flood.isEmpty())
        QSKIP("needs CORVANE_PINGFLOOD, the flood helper of tests/lab");
    FaultWindow window;
    QVERIFY(window.open());
    const QString net = qEnvironmentVariable("CORVANE_LAB_NET").section(u'/', 0, 0);
    const QString last = net.section(u'.', 0, 2) + u".255"_s;
    window.setRange(net, last);
    QVERIFY(window.run());
    const QStringList quiet = window.lines();
    QCOMPARE(quiet, pingLines(labList("CORVANE_LAB_ANSWERING")));

    // Bounded by count and time; ended as soon as the scan is done.
    QProcess flooder;
    flooder.start(flood, {u"--junk"_s, u"--seconds"_s, u"30"_s, u"--count"_s, u"5000000"_s});
    QVERIFY(flooder.waitForStarted());
    QByteArray said;
    QTRY_VERIFY2((said += flooder.readAllStandardOutput()).contains("flooding"),
                 qPrintable(QString::fromLocal8Bit(said + flooder.readAllStandardError())));
    window.setRange(net, last);
    QVERIFY(window.run());
    const bool floodedThroughout = flooder.state() == QProcess::Running;
    flooder.terminate();
    QVERIFY(flooder.waitForFinished(10000));
    QVERIFY2(floodedThroughout, "the flood ended before the scan did");
    QCOMPARE(window.lines(), quiet);
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultLab>(argc, argv);
}

#include "tst_faultlab.moc"
