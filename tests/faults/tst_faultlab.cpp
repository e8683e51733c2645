// The main window in private namespaces (tests/lab) with the network under it
// failing. dns*: through dns-run.sh, whose dnsmasq names 127.0.3.1 to .64, a
// name server that stops answering, and odd names in the hosts file. echo*: as
// root without raw sockets and with ping_group_range "1 0", echo requests not
// permitted until the test lets group 0 in.

#include "dialoganswerer.h"
#include "faultwindow.h"
#include "resultlistmodel.h"
#include "testfiles.h"

#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

namespace {

const QByteArray kResolvConf = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";

QStringList series(int count, const QString &pattern)
{
    QStringList result;
    for (int i = 1; i <= count; ++i)
        result.append(pattern.arg(i));
    return result;
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

// Only ever in the lab's scanner namespace, never the machine's.
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
// opened from the window, after F5 when @p beforeF5 is given; Esc closes it.
QStringList ipListMarks(FaultWindow &window, const std::function<void()> &beforeF5 = {})
{
    const QString answering = qEnvironmentVariable("CORVANE_LAB_ANSWERING").section(u' ', 0, 0);
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
        if (beforeF5) {
            beforeF5();
            QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_F5);
        }
        for (int row = 0; row < grid->rowCount(); ++row)
            marks.append(grid->item(row, 2) ? grid->item(row, 2)->text() : QString());
        QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_Escape);
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
    void dnsNames_data();
    void dnsNames();
    void dnsStopWhileLookupsHang();
    void echoRefusedUntilAllowed();

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
    const bool dns = QByteArray(QTest::currentTestFunction()).startsWith("dns");
    if (geteuid() != 0 || (!dns && !qEnvironmentVariableIsSet("CORVANE_LAB")))
        QSKIP("runs as root in private namespaces (tests/lab)");
    if (dns && (m_dnsmasq <= 1 || readFile(u"/etc/resolv.conf"_s) != kResolvConf))
        QSKIP("runs only through tests/lab/dns-run.sh");
    if (!dns && !setPingGroupRange("1 0"))
        QSKIP("runs in the lab's scanner namespace, without raw sockets (CORVANE_LAB_DROP_CAPS)");
}

void TestFaultLab::cleanup()
{
    if (m_dnsmasq <= 1)
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

void TestFaultLab::dnsNames_data()
{
    QTest::addColumn<QByteArray>("hostsName"); // of every address when given
    QTest::addColumn<bool>("serverStopped");
    QTest::addColumn<bool>("pingMode");
    QTest::newRow("ping mode: the names") << QByteArray() << false << true;
    QTest::newRow("stopped server, ping mode: lines without names") << QByteArray() << true << true;
    QTest::newRow("domain mode: the names") << QByteArray() << false << false;
    QTest::newRow("stopped server, domain mode: no lines") << QByteArray() << true << false;
    QTest::newRow("shell metacharacters") << "a;b$(c)`d`|e&f<g>'h\"i"_ba << false << true;
    QTest::newRow("UTF-8 and backslash as text") << "caf\xc3\xa9\\x41.test"_ba << false << true;
}

void TestFaultLab::dnsNames()
{
    QFETCH(QByteArray, hostsName);
    QFETCH(bool, serverStopped);
    QFETCH(bool, pingMode);
    const QStringList addresses = series(40, u"127.0.3.%1"_s);
    QStringList names =
        serverStopped ? QStringList(40, u""_s) : series(40, u"name-%1.faults.test"_s);
    if (!hostsName.isEmpty()) {
        QByteArray hosts = m_hostsContents;
        for (const QString &address : addresses)
            hosts += address.toLatin1() + ' ' + hostsName + '\n';
        QVERIFY(writeFile(m_hosts, hosts));
        names = QStringList(40, QString::fromUtf8(hostsName).replace(u"\\"_s, u"\\x5C"_s));
    }
    FaultWindow window;
    QVERIFY(openWindow(window));
    if (!pingMode)
        window.get<QRadioButton>("domainModeButton")->click();
    window.setRange(addresses.first(), addresses.last());
    DialogAnswerer told;
    if (serverStopped)
        signalServer(SIGSTOP);
    QVERIFY(window.run("startButton", 30000)); // 40 lookups of 1 s, 32 at a time

    QStringList lines = pingLines(addresses, names);
    QByteArray log = pingLog(addresses, names);
    if (!pingMode) {
        lines.clear();
        log.clear();
        for (qsizetype i = 0; i < 40 && !serverStopped; ++i) {
            lines.append(addresses[i] + u'\t' + names[i]);
            log += (addresses[i] + u"   "_s + names[i]).toUtf8() + "\r\n";
        }
    }
    QCOMPARE(window.lines(), lines);
    QCOMPARE(window.counter(), lines.isEmpty() ? QString()
                               : pingMode      ? u"40 pinged IP Numbers"_s
                                               : u"40 domain names"_s);
    QCOMPARE(readFile(m_log), log);
    QCOMPARE(told.texts(), QStringList());
    QCOMPARE(window.get<IpAddressEdit>("startAddressEdit")->text(), addresses.last());
}

// Stop ends the run long before a lookup could time out; Resume, once the
// server is back, lists the whole range.
void TestFaultLab::dnsStopWhileLookupsHang()
{
    QVERIFY(writeFile(m_resolvConf, "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n"));
    FaultWindow window;
    QVERIFY(openWindow(window));
    window.setRange(u"127.0.3.1"_s, u"127.0.3.64"_s);
    signalServer(SIGSTOP);
    QSignalSpy finished(window.form.get(), &MainWindow::runFinished);
    QTest::mouseClick(window.get("startButton"), Qt::LeftButton);
    QTRY_VERIFY(unreadQuestionBytes() > 0);
    QVERIFY(window.form->isRunning());
    QTest::mouseClick(window.get("stopButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!window.form->isRunning());
    QCOMPARE(window.get<IpAddressEdit>("startAddressEdit")->text(), u"127.0.3.1"_s);
    QCOMPARE(window.lines(), QStringList());
    signalServer(SIGCONT);
    QVERIFY(window.run("resumeButton"));
    QCOMPARE(window.lines(),
             pingLines(series(64, u"127.0.3.%1"_s), series(64, u"name-%1.faults.test"_s)));
    QCOMPARE(window.counter(), u"64 pinged IP Numbers"_s);
}

// Start says so once per press, after the beep, and changes nothing; the IP
// Number List once per probing, its marks left empty; Get Domain, which sends
// no echo request, still runs. Once allowed, Start and the list send at once.
void TestFaultLab::echoRefusedUntilAllowed()
{
    FaultWindow window;
    QVERIFY(!window.prober->isAvailable());
    QVERIFY(window.open());
    window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    qobject_cast<ResultListModel *>(window.get<QListView>("resultList")->model())
        ->appendLines({u"a line from before"_s});
    DialogAnswerer told;
    const QString message = echoUnavailableMessage(window.prober->unavailableReason());
    const auto checkTold = [&](qsizetype times) {
        QTRY_COMPARE(told.texts(), QStringList(times, message));
        QCOMPARE(told.seen().last().icon, QMessageBox::Warning);
        QVERIFY2(told.seen().last().beeped, "no beep before the message");
    };
    for (int press = 1; press <= 2; ++press) {
        QTest::mouseClick(window.get("startButton"), Qt::LeftButton);
        checkTold(press);
        QVERIFY(!window.form->isRunning() && !window.get("stopButton")->isEnabled());
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

    const auto closeAgain = qScopeGuard([] { setPingGroupRange("1 0"); });
    QVERIFY(setPingGroupRange("0 0"));
    window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    QVERIFY(window.run());
    QCOMPARE(window.lines(), pingLines(series(10, u"198.18.1.%1"_s)));
    QCOMPARE(ipListMarks(window).mid(0, 3), (QStringList{u"X"_s, u"X"_s, QString()}));
    QCOMPARE(told.seen().size(), 4);
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultLab>(argc, argv);
}

#include "tst_faultlab.moc"
